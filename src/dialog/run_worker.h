// RunWorker: one batch run at a time on a QThread of its own. The run's watch (present/run_watch.h)
// hears it; what the window is woken for (a data file, a picture, a look of the watch after the
// run, the end) comes back to the thread that owns the worker (the window's) as queued signals,
// in the order the run gave them; the window never waits for the run and the run never waits for
// the window. Everything else it reads from the watch's snapshot between pictures.
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
#include "convert/folder_watch.h"
#include "dialog/frame_picture.h"
#include "present/run_watch.h"
#include "present/view_pacer.h"

class QThread;

namespace qf {

class RunJob;
class SalvageLog;

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
    /// and must outlive the run; `salvaged`, when given, is what the run's controls took cut
    /// off, named in the report as the run ends.
    bool Start(const std::string& folder, BatchSettings settings, CGetdatactrl1* control = nullptr,
               std::shared_ptr<SalvageLog> salvaged = nullptr);
    /// From Start until `finished` is emitted.
    bool running() const { return static_cast<bool>(thread_); }
    /// The kind the run takes for each data file it loads from now on.
    void SetKind(int kind) { kind_.store(kind); }
    /// Asks the run to stop before its next frame (the frame being written is finished); its
    /// snapshot says so until it ends.
    void RequestStop();
    /// The run's thread, once its plan is made: tells the window of the names that clash
    /// (namesClash) and waits for AnswerClashes or a stop; true to carry on.
    bool AskAboutClashes(const NameClashes& clashes);
    /// The window's answer to namesClash: carry on as planned, or end the run unconverted.
    void AnswerClashes(bool carryOn);
    bool stopRequested() const { return stop_.load(); }
    /// Where the current (or last) run stands, in words too; any thread (after Start).
    present::RunSnapshot snapshot() const;
    /// What the run's watch reads the time from, for the pictures' rate limit and the pace
    /// (tests step it by hand).
    /// Set it between runs only.
    void SetClock(Clock clock) { clock_ = std::move(clock); }
    /// With `watch`, a run that ends unstopped goes on watching its folder with these
    /// settings (the folder is the run's) until a stop; null: it ends. Set it between runs.
    void KeepWatching(std::optional<FolderWatchSettings> watch) { watch_ = std::move(watch); }
    /// What paces the watch (tests step it by hand; null: the system's). Between runs only.
    void SetWatchClock(WatchClock* clock) { watchClock_ = clock; }

signals:
    /// The run asked for the kind of a data file it has loaded, and got `kind`.
    void kindAsked(int kind);
    void fileStarted(const QString& path, int index, int total);
    /// A picture of the latest frame, with the frames written so far in its data file
    /// and in the run. At most one every kPictureInterval; the run's last frame always.
    void frameShown(const qf::FramePicture& picture, int fileFrames, long runFrames);
    /// The watch after the run looked at its folder: `standing` says what it waits for.
    void watchLooked(const qf::WatchStanding& standing);
    /// The run is over and its thread gone.
    void finished(const qf::BatchReport& report);
    /// The plan loses `lost` frames (stacks when `stacks`) to names taken, `acrossFolders` of
    /// them by data files of other folders; the run waits for AnswerClashes.
    void namesClash(int lost, bool stacks, int acrossFolders);

private:
    friend class RunJob;
    void OnJobFinished(const qf::BatchReport& report);

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
    std::optional<FolderWatchSettings> watch_;
    WatchClock* watchClock_ = nullptr;
    /// The current (or last) run's; replaced by Start only, on the window's thread.
    std::unique_ptr<present::RunWatch> runWatch_;
};

// One run. Created on the window's thread, it runs on the run's thread and only emits
// there: every signal reaches the worker through a queued connection.
class RunJob : public QObject {
    Q_OBJECT
public:
    RunJob(RunWorker& worker, std::string folder, BatchSettings settings, std::optional<FolderWatchSettings> watch,
           std::shared_ptr<SalvageLog> salvaged)
        : worker_(worker), folder_(std::move(folder)), settings_(std::move(settings)), watch_(std::move(watch)),
          salvaged_(std::move(salvaged)) {}

    /// The run's thread. Nothing thrown leaves it: whatever escapes the run ends in the report.
    void Run() noexcept;
    /// The run's thread: emits what the window is woken for.
    void Tell(present::RunChange change);

signals:
    void kindAsked(int kind);
    void fileStarted(const QString& path, int index, int total);
    void frameShown(const qf::FramePicture& picture, int fileFrames, long runFrames);
    void watchLooked(const qf::WatchStanding& standing);
    void finished(const qf::BatchReport& report);

private:
    /// After the run: watches its folder until a stop; the report takes in what the watch did.
    void Watch(present::RunWatch& observer, BatchReport& report);
    RunWorker& worker_;
    const std::string folder_;
    const BatchSettings settings_;
    const std::optional<FolderWatchSettings> watch_;
    const std::shared_ptr<SalvageLog> salvaged_;
};

}  // namespace qf
