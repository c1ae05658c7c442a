// RunWorker: one batch run at a time on a thread of its own. The run's events come back
// to the thread that owns the worker (the window's) as signals: the run queues them under
// a mutex and wakes the window with a queued call; the window never waits for the run and
// the run never waits for the window.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "control/getdata_ctrl.h"
#include "convert/batch_run.h"
#include "convert/run_progress.h"
#include "dialog/frame_picture.h"
#include "present/view_pacer.h"

namespace qf {

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
    bool Start(const std::string& folder, BatchSettings settings);
    bool running() const { return thread_.joinable(); }
    /// The kind the run takes for each data file it loads from now on.
    void SetKind(int kind) { kind_.store(kind); }
    /// Asks the run to stop before its next frame (the frame being written is finished).
    void RequestStop() { stop_.store(true); }
    bool stopRequested() const { return stop_.load(); }
    /// Frames written so far in the current data file and in the run; read from any
    /// thread while the run goes (a window polls it between pictures).
    int fileFramesWritten() const { return fileFrames_.load(); }
    long runFramesWritten() const { return runFrames_.load(); }
    /// The frames the plan holds for the current data file and for the whole run (0 until
    /// the plan is made).
    int fileFramesPlanned() const { return filePlanned_.load(); }
    long runFramesPlanned() const { return runPlanned_.load(); }
    /// How much of the run's plan is done, 0 to 1, counting each frame by its pixels.
    double runDoneFraction() const { return runFraction_.load(); }
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
    void failed(const QString& line);
    void noted(const QString& line);
    /// The run is over and its thread gone.
    void finished(const qf::BatchReport& report);

private:
    class Observer;
    using Event = std::function<void(RunWorker&)>;
    void Work(const std::string& folder, const BatchSettings& settings);
    /// Any thread: queues `event` for the owner's thread and wakes it if it sleeps.
    void Post(Event event);
    /// The owner's thread: emits every queued event, in order.
    Q_INVOKABLE void Drain();
    void Finished(const BatchReport& report);

    CGetdatactrl1& control_;
    std::thread thread_;
    std::atomic<int> kind_{0};
    std::atomic<bool> stop_{false};
    std::atomic<int> fileFrames_{0};
    std::atomic<long> runFrames_{0};
    std::atomic<int> filePlanned_{0};
    std::atomic<long> runPlanned_{0};
    std::atomic<double> runFraction_{0};
    Clock clock_;
    std::mutex queueMutex_;
    std::vector<Event> queue_;  ///< guarded by queueMutex_
    bool wakePosted_ = false;   ///< guarded by queueMutex_
};

}  // namespace qf
