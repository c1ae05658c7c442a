#include "dialog/run_worker.h"

#include <QFile>
#include <QThread>
#include <algorithm>

#include "convert/run_tally.h"

namespace qf {

// The run's events: counts into the worker's standing, pictures paced; frames are copied
// only when a picture is due, or kept aside when one may be the run's last.
class RunJob::Observer : public FolderWatchObserver {
public:
    explicit Observer(RunJob& job) : job_(job), worker_(job.worker_) {}

    void FileStarted(const std::string& path, int index, int total) override {
        fileFrames_ = 0;
        worker_.Stand([](RunStanding& s) { s.fileFrames = 0, s.filePlanned = 0; });
        emit job_.fileStarted(QFile::decodeName(path.c_str()), index, total);
    }
    void Planning(int found) override {
        worker_.Stand([found](RunStanding& s) { s.planningFound = found; });
    }
    void Planned(int, long frames) override {
        worker_.Stand([frames](RunStanding& s) {
            s.progress.Planned(frames, 0);
            s.planningFound = 0;  // planning is over
        });
    }
    void PlannedPixels(std::uint64_t pixels) override {
        worker_.Stand([pixels](RunStanding& s) { s.progress.Planned(0, pixels); });
    }
    void FileFrames(int frames) override {
        worker_.Stand([frames](RunStanding& s) {
            s.filePlanned = frames;
            s.progress.FileFrameSize(0);
        });
    }
    void FileFramePixels(std::uint64_t pixels) override {
        worker_.Stand([pixels](RunStanding& s) { s.progress.FileFrameSize(pixels); });
    }
    void FrameWritten(const std::string&) override {
        ++fileFrames_;
        ++runFrames_;
        worker_.Stand([](RunStanding& s) {
            s.progress.FrameDone();
            ++s.fileFrames;
        });
    }
    void FrameShown(const FrameImage& frame, ExportKind kind) override {
        if (pacer_.Offer(worker_.clock_())) {
            emit job_.frameShown(MakeFramePicture(frame, kind, job_.settings_.inputBits), fileFrames_, runFrames_);
        } else {
            CopyFrame(frame, keptFrame_);
            keptKind_ = kind;
        }
    }
    void Looked(const WatchStanding& standing) override {
        // Each look would otherwise be a signal a second whatever changed.
        if (shownLook_ && SameLook(*shownLook_, standing)) return;
        shownLook_ = standing;
        emit job_.watchLooked(standing);
    }
    void FileDone(const std::string&, const BatchReport&) override {
        Flush();
        shownLook_.reset();  // the next look is said again: its count has changed
    }
    /// The run is over: the last frame is shown if it was not.
    void Flush() {
        if (pacer_.Finish()) {
            emit job_.frameShown(MakeFramePicture(keptFrame_, keptKind_, job_.settings_.inputBits), fileFrames_,
                                 runFrames_);
        }
    }

private:
    RunJob& job_;
    RunWorker& worker_;
    int fileFrames_ = 0;
    long runFrames_ = 0;
    ViewPacer pacer_;
    FrameImage keptFrame_;
    ExportKind keptKind_ = kNormalizedTiff;
    std::optional<WatchStanding> shownLook_;

    static bool SameLook(const WatchStanding& a, const WatchStanding& b) {
        const auto same = [](const BeingWritten& x, const BeingWritten& y) {
            return x.path == y.path && x.step.completeFrames == y.step.completeFrames &&
                   x.step.headerFrames == y.step.headerFrames;
        };
        return a.converted == b.converted &&
               std::equal(a.beingWritten.begin(), a.beingWritten.end(), b.beingWritten.begin(), b.beingWritten.end(), same);
    }
};

void RunJob::Run() noexcept {
    BatchReport report;
    try {
        Observer observer(*this);
        auto askKind = [this] {
            const int kind = worker_.kind_.load();
            emit kindAsked(kind);
            return kind;
        };
        report = RunBatch(*worker_.runControl_, folder_, askKind, settings_, observer);
        observer.Flush();
        // A folder without data files may hold them deeper: counted here, off the window's thread.
        if (FoundNoDataFiles(report) && !settings_.recursive) {
            const int deeper = DataFilesInSubfolders(folder_, settings_.onlyOrx);
            worker_.Stand([deeper](RunStanding& s) { s.dataFilesDeeper = deeper; });
        }
        if (watch_ && report.stop == BatchStop::kNone && !worker_.stop_.load()) Watch(observer, report);
    } catch (const std::exception& e) {
        report.failures.push_back(BatchFailure{folder_, kNoFrame, folder_, std::string("run stopped: ") + e.what()});
        report.stop = BatchStop::kFrameFailed;
    } catch (...) {
        report.failures.push_back(BatchFailure{folder_, kNoFrame, folder_, "run stopped: unknown failure"});
        report.stop = BatchStop::kFrameFailed;
    }
    emit finished(report);
}

void RunJob::Watch(Observer& observer, BatchReport& report) {
    auto askKind = [this] {
        const int kind = worker_.kind_.load();
        emit kindAsked(kind);
        return kind;
    };
    SystemWatchClock system;
    KeepWatchingAfter(folder_, *watch_, settings_, askKind, observer, worker_.watchClock_ ? *worker_.watchClock_ : system,
                      report);
}

RunWorker::RunWorker(CGetdatactrl1& control, QObject* parent)
    : QObject(parent), control_(control), clock_([] { return std::chrono::steady_clock::now(); }) {}

RunWorker::~RunWorker() {
    RequestStop();
    // The queued events still addressed to the worker go with it.
    if (thread_) thread_->wait();
}

bool RunWorker::Start(const std::string& folder, BatchSettings settings, CGetdatactrl1* control) {
    if (running()) return false;
    runControl_ = control ? control : &control_;
    stop_.store(false);
    Stand([](RunStanding& s) { s = RunStanding{}; });
    settings.stopRequested = [this] { return stop_.load(); };
    if (watch_ && !settings.names) settings.names = std::make_shared<RunNames>();
    job_ = std::make_unique<RunJob>(*this, folder, std::move(settings), watch_);
    // Queued: the run's thread emits, the worker's thread delivers, in order.
    connect(job_.get(), &RunJob::kindAsked, this, &RunWorker::kindAsked, Qt::QueuedConnection);
    connect(job_.get(), &RunJob::fileStarted, this, &RunWorker::fileStarted, Qt::QueuedConnection);
    connect(job_.get(), &RunJob::frameShown, this, &RunWorker::frameShown, Qt::QueuedConnection);
    connect(job_.get(), &RunJob::watchLooked, this, &RunWorker::watchLooked, Qt::QueuedConnection);
    connect(job_.get(), &RunJob::finished, this, &RunWorker::OnJobFinished, Qt::QueuedConnection);
    thread_.reset(QThread::create([job = job_.get()] { job->Run(); }));
    thread_->setObjectName(QStringLiteral("quillfen run"));
    thread_->start();
    return true;
}

void RunWorker::OnJobFinished(const BatchReport& report) {
    // The job emitted this last: its thread is ending.
    thread_->wait();
    thread_.reset();
    job_.reset();
    emit finished(report);
}

void RunWorker::RequestStop() {
    {
        std::lock_guard lock(answerMutex_);
        stop_.store(true);
    }
    answered_.notify_all();
}

bool RunWorker::AskAboutClashes(const NameClashes& clashes) {
    std::unique_lock lock(answerMutex_);
    answer_.reset();
    // Queued to the window's thread, which never waits for the run.
    emit namesClash(clashes.lost, clashes.stacks, clashes.acrossFolders);
    answered_.wait(lock, [this] { return answer_.has_value() || stop_.load(); });
    return answer_.value_or(false) && !stop_.load();
}

void RunWorker::AnswerClashes(bool carryOn) {
    {
        std::lock_guard lock(answerMutex_);
        answer_ = carryOn;
    }
    answered_.notify_all();
}

RunStanding RunWorker::standing() const {
    std::lock_guard lock(standingMutex_);
    return standing_;
}

void RunWorker::Stand(const std::function<void(RunStanding&)>& change) {
    std::lock_guard lock(standingMutex_);
    change(standing_);
}

}  // namespace qf

