// What a dialog shows of a run, kept in one place for every front end. The watch hears the
// run (and the watch of the folder after it) on the run's thread: it counts the frames and
// the pixels done, paces the pictures of the frames written, and decides how the run ended
// and the words for it. A window is woken when something changed and draws a Snapshot
// (run_snapshot.h); the Qt dialog and the Win32 one differ only in how they are woken and
// how they draw.
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
#include "present/frame_pixels.h"
#include "present/run_snapshot.h"
#include "present/view_pacer.h"

namespace qf::present {

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
    /// What the watch after the run waits for, once it has looked (a handler of kLook). Any thread.
    std::optional<WatchStanding> Look() const;
    /// A stop was asked: the strip says so until the run ends. Any thread; not told to `wake`.
    void Stopping();
    /// The run is over with `report` (final: cut-off files and escaped exceptions in it). The
    /// last frame kept aside is pictured, the end decided and said, then kEnd told, always.
    void Finish(const BatchReport& report) noexcept;

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
    std::optional<WatchStanding> look_;       ///< guarded by mutex_
    mutable std::atomic<bool> progressTold_{false};
};

}  // namespace qf::present
