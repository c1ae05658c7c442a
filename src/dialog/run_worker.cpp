#include "dialog/run_worker.h"

#include <QFile>
#include <QMetaObject>

namespace qf {

// Lives on the run's thread. Every event is posted to the worker; frames are copied only
// when a picture is due, or kept aside when it may be the run's last.
class RunWorker::Observer : public BatchObserver {
public:
    Observer(RunWorker& worker, const Clock& clock) : worker_(worker), clock_(clock) {}

    void FileStarted(const std::string& path, int index, int total) override {
        fileFrames_ = 0;
        worker_.fileFrames_.store(0);
        Post([path = QFile::decodeName(path.c_str()), index, total](RunWorker& w) {
            emit w.fileStarted(path, index, total);
        });
    }
    void Planned(int, long frames) override {
        worker_.runPlanned_.store(frames);
        progress_.Planned(frames, 0);
    }
    void PlannedPixels(std::uint64_t pixels) override { progress_.Planned(0, pixels); }
    void FileFrames(int frames) override {
        worker_.filePlanned_.store(frames);
        progress_.FileFrameSize(0);
    }
    void FileFramePixels(std::uint64_t pixels) override { progress_.FileFrameSize(pixels); }
    void FrameWritten(const std::string&) override {
        progress_.FrameDone();
        worker_.runFraction_.store(progress_.Fraction());
        worker_.fileFrames_.store(++fileFrames_);
        worker_.runFrames_.store(++runFrames_);
    }
    void FrameShown(const FrameImage& frame, ExportKind kind) override {
        if (pacer_.Offer(clock_())) {
            PostPicture(MakeFramePicture(frame, kind));
        } else {
            CopyFrame(frame, keptFrame_);
            keptKind_ = kind;
        }
    }
    void Failed(const BatchFailure& failure) override {
        Post([line = QFile::decodeName(failure.Line().c_str())](RunWorker& w) { emit w.failed(line); });
    }
    void Noted(const std::string& line) override {
        Post([text = QFile::decodeName(line.c_str())](RunWorker& w) { emit w.noted(text); });
    }
    /// The run is over: the last frame is shown if it was not.
    void Flush() {
        if (pacer_.Finish()) PostPicture(MakeFramePicture(keptFrame_, keptKind_));
    }
    void Post(Event event) { worker_.Post(std::move(event)); }

private:
    void PostPicture(FramePicture picture) {
        Post([picture = std::move(picture), file = fileFrames_, run = runFrames_](RunWorker& w) {
            emit w.frameShown(picture, file, run);
        });
    }

    RunWorker& worker_;
    const Clock& clock_;
    int fileFrames_ = 0;
    long runFrames_ = 0;
    RunProgress progress_;
    ViewPacer pacer_;
    FrameImage keptFrame_;
    ExportKind keptKind_ = kNormalizedTiff;
};

RunWorker::RunWorker(CGetdatactrl1& control, QObject* parent)
    : QObject(parent), control_(control), clock_([] { return std::chrono::steady_clock::now(); }) {}

RunWorker::~RunWorker() {
    RequestStop();
    if (thread_.joinable()) thread_.join();
}

bool RunWorker::Start(const std::string& folder, BatchSettings settings) {
    if (running()) return false;
    stop_.store(false);
    fileFrames_.store(0);
    runFrames_.store(0);
    filePlanned_.store(0);
    runPlanned_.store(0);
    runFraction_.store(0);
    settings.stopRequested = [this] { return stop_.load(); };
    thread_ = std::thread([this, folder, settings = std::move(settings)] { Work(folder, settings); });
    return true;
}

// The run's thread. Nothing thrown leaves it: whatever escapes the run ends in the report.
void RunWorker::Work(const std::string& folder, const BatchSettings& settings) {
    BatchReport report;
    Observer observer(*this, clock_);
    try {
        auto askKind = [this, &observer] {
            const int kind = kind_.load();
            observer.Post([kind](RunWorker& w) { emit w.kindAsked(kind); });
            return kind;
        };
        report = RunBatch(control_, folder, askKind, settings, observer);
        observer.Flush();
    } catch (const std::exception& e) {
        report.failures.push_back(BatchFailure{folder, kNoFrame, folder, std::string("run stopped: ") + e.what()});
        report.stop = BatchStop::kFrameFailed;
    } catch (...) {
        report.failures.push_back(BatchFailure{folder, kNoFrame, folder, "run stopped: unknown failure"});
        report.stop = BatchStop::kFrameFailed;
    }
    auto shared = std::make_shared<const BatchReport>(std::move(report));
    Post([shared](RunWorker& w) { w.Finished(*shared); });
}

// The events travel under our own mutex, so that what the run hands over is visibly
// synchronised (to ThreadSanitizer too); the wake-up is a queued call by name that carries
// nothing, posted once until the window has drained the queue.
void RunWorker::Post(Event event) {
    bool wake = false;
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(event));
        wake = !wakePosted_;
        wakePosted_ = true;
    }
    if (wake) QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void RunWorker::Drain() {
    std::vector<Event> events;
    {
        std::lock_guard lock(queueMutex_);
        events.swap(queue_);
        wakePosted_ = false;
    }
    for (Event& event : events) event(*this);
}

void RunWorker::Finished(const BatchReport& report) {
    if (thread_.joinable()) thread_.join();
    emit finished(report);
}

}  // namespace qf
