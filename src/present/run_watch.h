// What a dialog shows of a run, kept in one place for every front end. The watch hears the
// run (and the watch of the folder after it) on the run's thread: it counts the frames and
// the pixels done, paces the pictures of the frames written, and decides how the run ended
// and the words for it. A window is woken when something changed and draws a Snapshot; the
// Qt dialog and the Win32 one differ only in how they are woken and how they draw.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "convert/batch_run.h"
#include "convert/folder_watch.h"
#include "convert/run_progress.h"
#include "present/frame_pixels.h"
#include "present/profile_plot.h"
#include "present/view_pacer.h"

namespace qf::present {

/// How a run stands, as the status light shows it.
enum class RunState {
    kRunning,   ///< converting, or watching its folder after the run
    kClean,     ///< ended with every frame written
    kFailures,  ///< ended with failures, or found no data files (most often the wrong folder)
    kStopped,   ///< ended by a stop
};

/// What the strip says.
enum class RunPhase { kReading, kPlanning, kConverting, kWatching, kStopping, kEnded };

/// What changed, told on the run's thread right after the snapshot took it in.
enum class RunChange {
    kProgress,  ///< counts or words; told once until the next Snapshot, so a busy window is not flooded
    kFile,      ///< a data file started
    kPicture,   ///< a new picture is due
    kLook,      ///< the watch after the run waits for something else
    kEnd,       ///< the run is over; nothing is told after it
};

/// A frame as the view shows it, with its profiles on the run's axis.
struct RunPicture {
    std::shared_ptr<const FramePixels> pixels;  ///< never null
    ProfilePlot row;     ///< pixels->row as plotted
    ProfilePlot column;  ///< pixels->column as plotted
    int fileFrames = 0;  ///< frames written in its data file when it was pictured...
    long runFrames = 0;  ///< ...and in the run
    int number = 0;      ///< 1 for the run's first picture, then counting on
};

struct RunSnapshot {
    RunPhase phase = RunPhase::kReading;
    RunState state = RunState::kRunning;
    /// The strip's line: "Planning: 2 data files found", "File 3 of 12: scan.orx, frame 4 of
    /// 300", "watching day1: 12 converted", "Stopping after the current frame...", how it ended.
    std::string line;
    /// While converting, once a frame is done: "12.3 frames/s, 40 s left"; else empty.
    std::string pace;
    /// `line` and `pace` as one line, for a strip whose bar carries no text.
    std::string strip;
    /// The bar, 0 to 1: the pixels done of the plan; while the watch waits, the frames
    /// written of the first file being written; 1 once a run ended whole.
    double fraction = 0;
    RunProgress progress;  ///< frames and pixels planned and done
    std::string filePath;  ///< the data file being converted ("" before the first)
    int fileIndex = 0;     ///< from 1; 0 before the first data file
    int fileTotal = 0;
    int fileFrames = 0;    ///< written in the current data file
    int filePlanned = 0;   ///< the current data file's frames (0 until known)
    int planningFound = 0; ///< data files whose headers the plan read
    int failures = 0;
    long framesWritten = 0;  ///< at the end, the report's
    std::optional<RunPicture> picture;  ///< the latest picture of this run
    std::optional<WatchStanding> watch; ///< the watch's latest look, once it looks
    /// At the end: the message for a run that stopped or had failures ("" for a clean run)...
    std::string endMessage;
    /// ...and everything the report says.
    std::vector<std::string> reportLines;
};

/// A run ended by an exception that escaped it: the report says so, as a failure of `folder`
/// ("run stopped: `what`"; null `what`: an unknown failure), and the run stopped there.
void EndByException(BatchReport& report, const std::string& folder, const char* what);

class RunWatch : public FolderWatchObserver {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    /// `clock` paces the pictures and times the run (any thread; null: the steady clock);
    /// `wake` is told each change on the run's thread (null: no one is).
    struct Hooks {
        Clock clock;
        std::function<void(RunChange)> wake;
    };

    /// A run of `folder` with `options` (their input bits, subfolders, data file rule and
    /// salvage), starting now.
    RunWatch(std::string folder, const RunOptions& options, Hooks hooks = {});
    RunWatch(const RunWatch&) = delete;
    RunWatch& operator=(const RunWatch&) = delete;

    /// Where the run stands now, its pace taken at this moment. Any thread.
    RunSnapshot Snapshot() const;
    /// The latest picture only (a handler of kPicture). Any thread.
    std::optional<RunPicture> Picture() const;
    /// A stop was asked: the strip says so until the run ends. Any thread; not told to `wake`.
    void Stopping();
    /// The run is over with `report` (final: cut-off files and escaped exceptions in it). The
    /// last frame kept aside is pictured, the end decided and said, then kEnd told.
    void Finish(const BatchReport& report);

    void Planning(int found) override;
    void Planned(int files, long frames) override;
    void PlannedPixels(std::uint64_t pixels) override;
    void FileStarted(const std::string& path, int index, int total) override;
    void FileFrames(int frames) override;
    void FileFramePixels(std::uint64_t pixels) override;
    void FrameWritten(const std::string& output) override;
    void FrameShown(const FrameImage& frame, ExportKind kind) override;
    void Failed(const BatchFailure& failure) override;
    void Looked(const WatchStanding& standing) override;
    void FileDone(const std::string& path, const BatchReport& report) override;

private:
    /// Changes the snapshot under the lock, then tells `change`.
    template <typename F>
    void Change(RunChange change, F&& f);
    void Tell(RunChange change);
    void ShowKept();
    void Show(FramePixels pixels);
    double Seconds() const;

    // Set once.
    const std::string folder_;
    const RunOptions options_;
    const Hooks hooks_;
    const std::chrono::steady_clock::time_point started_;
    // The run's thread only: what paces the pictures and the frame kept aside.
    ViewPacer pacer_;
    FrameImage kept_;
    ExportKind keptKind_ = kNormalizedTiff;
    std::optional<WatchStanding> toldLook_;

    mutable std::mutex mutex_;
    RunSnapshot state_;  ///< guarded by mutex_; its words are made in Snapshot
    bool stopping_ = false;       ///< guarded by mutex_
    RunPhase activity_ = RunPhase::kReading;  ///< guarded by mutex_
    mutable std::atomic<bool> progressTold_{false};
};

}  // namespace qf::present
