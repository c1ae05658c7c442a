// RunWorker: one batch run at a time on a QThread of its own. The run's events come back to
// the thread that owns the worker (the window's) as queued signals, in the order the run
// gave them; the window never waits for the run and the run never waits for the window.
// Where the run stands (frames, pixels) is a snapshot the window reads between pictures.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "control/getdata_ctrl.h"
#include "convert/batch_run.h"
#include "convert/run_progress.h"
#include "dialog/frame_picture.h"
#include "present/view_pacer.h"

class QThread;

namespace qf {

/// Where a run stands: the plan's frames and pixels done, and the current data file's.
struct RunStanding {
    RunProgress progress;
    int fileFrames = 0;   ///< written in the current data file
    int filePlanned = 0;  ///< the plan's frames of the current data file (0 until known)
    int planningFound = 0;    ///< while planning: the data files whose headers were read
    int dataFilesDeeper = 0;  ///< a run that found no data files: how many its subfolders hold
};

class RunJob;

class RunWorker : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    /// The shortest time between two pictures of frames (at most 25 a second).
    static constexpr std::chrono::milliseconds kPictureInterval = ViewPacer::kInterval;

    /// `control` is used by the run's thread alone while a run goes, and must outlive
    /// the worker.
    explicit RunWorker(CGetdatactrl1& control, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(RunWorker)
    /// Asks a run that still goes to stop and waits for its thread.
    ~RunWorker() override;

    /// Converts `folder` on the run's thread; false (and nothing started) while a run goes.
    /// `control`, when given, stands in for the worker's own for this run (a salvaging one)
    /// and must outlive the run.
    bool Start(const std::string& folder, BatchSettings settings, CGetdatactrl1* control = nullptr);
    /// From Start until `finished` is emitted.
    bool running() const { return static_cast<bool>(thread_); }
    /// The kind the run takes for each data file it loads from now on.
    void SetKind(int kind) { kind_.store(kind); }
    /// Asks the run to stop before its next frame (the frame being written is finished).
    void RequestStop();
    /// The run's thread, once its plan is made: tells the window of the names that clash
    /// (namesClash) and waits for AnswerClashes or a stop; true to carry on.
    bool AskAboutClashes(const NameClashes& clashes);
    /// The window's answer to namesClash: carry on as planned, or end the run unconverted.
    void AnswerClashes(bool carryOn);
    bool stopRequested() const { return stop_.load(); }
    /// Where the current (or last) run stands; any thread.
    RunStanding standing() const;
    /// What the rate limit of the pictures reads the time from (tests step it by hand).
    /// Set it between runs only.
    void SetClock(Clock clock) { clock_ = std::move(clock); }

signals:
    /// The run asked for the kind of a data file it has loaded, and got `kind`.
    void kindAsked(int kind);
    void fileStarted(const QString& path, int index, int total);
    /// A picture of the latest frame, with the frames written so far in its data file
    /// and in the run. At most one every kPictureInterval; the run's last frame always.
    void frameShown(const qf::FramePicture& picture, int fileFrames, long runFrames);
    /// The run is over and its thread gone.
    void finished(const qf::BatchReport& report);
    /// The plan loses `lost` frames (stacks when `stacks`) to names taken, some by data files
    /// of other folders when `acrossFolders`; the run waits for AnswerClashes.
    void namesClash(int lost, bool stacks, bool acrossFolders);

private:
    friend class RunJob;
    void OnJobFinished(const qf::BatchReport& report);
    void Stand(const std::function<void(RunStanding&)>& change);

    CGetdatactrl1& control_;
    CGetdatactrl1* runControl_ = nullptr;  ///< the current run's
    std::unique_ptr<QThread> thread_;
    std::unique_ptr<RunJob> job_;
    std::atomic<int> kind_{0};
    std::atomic<bool> stop_{false};
    Clock clock_;
    std::mutex answerMutex_;
    std::condition_variable answered_;
    std::optional<bool> answer_;  ///< guarded by answerMutex_
    mutable std::mutex standingMutex_;
    RunStanding standing_;  ///< guarded by standingMutex_
};

// One run. Created on the window's thread, it runs on the run's thread and only emits
// there: every signal reaches the worker through a queued connection.
class RunJob : public QObject {
    Q_OBJECT
public:
    RunJob(RunWorker& worker, std::string folder, BatchSettings settings)
        : worker_(worker), folder_(std::move(folder)), settings_(std::move(settings)) {}

    /// The run's thread. Nothing thrown leaves it: whatever escapes the run ends in the report.
    void Run() noexcept;

signals:
    void kindAsked(int kind);
    void fileStarted(const QString& path, int index, int total);
    void frameShown(const qf::FramePicture& picture, int fileFrames, long runFrames);
    void finished(const qf::BatchReport& report);

private:
    class Observer;
    RunWorker& worker_;
    const std::string folder_;
    const BatchSettings settings_;
};

}  // namespace qf
