#include "dialog/run_worker.h"

#include <QFile>
#include <QThread>

#include "convert/cut_off_files.h"

namespace qf {

void RunJob::Run() noexcept {
    present::RunWatch& watch = *worker_.runWatch_;
    BatchReport report;
    try {
        auto askKind = [this] {
            const int kind = worker_.kind_.load();
            emit kindAsked(kind);
            return kind;
        };
        report = RunBatch(*worker_.runControl_, folder_, askKind, settings_, watch);
        if (watch_ && report.stop == BatchStop::kNone && !worker_.stop_.load()) Watch(watch, report);
        if (salvaged_) ReportCutOffFiles(report, *salvaged_, watch);
    } catch (const std::exception& e) {
        present::EndByException(report, folder_, e.what());
    } catch (...) {
        present::EndByException(report, folder_, nullptr);
    }
    watch.Finish(report);
    emit finished(report);
}

void RunJob::Tell(present::RunChange change) {
    present::RunWatch& watch = *worker_.runWatch_;
    switch (change) {
        case present::RunChange::kFile: {
            const present::RunSnapshot s = watch.Snapshot();
            emit fileStarted(QFile::decodeName(s.filePath.c_str()), s.fileIndex, s.fileTotal);
            break;
        }
        case present::RunChange::kPicture:
            if (const std::optional<present::RunPicture> picture = watch.Picture()) {
                emit frameShown(MakeFramePicture(*picture), picture->fileFrames, picture->runFrames);
            }
            break;
        case present::RunChange::kLook:
            if (const std::optional<WatchStanding> look = watch.Look()) emit watchLooked(*look);
            break;
        default: break;  // the window reads the counts between pictures; the end comes with `finished`
    }
}

void RunJob::Watch(present::RunWatch& observer, BatchReport& report) {
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

bool RunWorker::Start(const std::string& folder, BatchSettings settings, CGetdatactrl1* control,
                      std::shared_ptr<SalvageLog> salvaged) {
    if (running()) return false;
    runControl_ = control ? control : &control_;
    stop_.store(false);
    settings.stopRequested = [this] { return stop_.load(); };
    if (watch_ && !settings.names) settings.names = std::make_shared<RunNames>();
    job_ = std::make_unique<RunJob>(*this, folder, settings, watch_, std::move(salvaged));
    // Told on the run's thread; the job lives until the run has ended.
    runWatch_ = std::make_unique<present::RunWatch>(
        folder, settings, present::RunWatch::Hooks{clock_, [job = job_.get()](present::RunChange c) { job->Tell(c); }});
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
    if (runWatch_) runWatch_->Stopping();
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

present::RunSnapshot RunWorker::snapshot() const { return runWatch_ ? runWatch_->Snapshot() : present::RunSnapshot{}; }

}  // namespace qf

