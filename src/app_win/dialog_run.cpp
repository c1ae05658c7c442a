#include "app_win/dialog_run.h"

#include <algorithm>

#include "control/getdata_ctrl.h"
#include "convert/batch_run.h"
#include "convert/run_tally.h"
#include "platform/file_io.h"
#include "platform/memory.h"
#include "present/run_texts.h"
#include "present/view_pacer.h"

namespace qf::win {
namespace {

// Lives on the run's thread: turns the run's events into updates for the window.
class Observer : public BatchObserver {
public:
    explicit Observer(const std::function<void(std::unique_ptr<RunUpdate>)>& post) : post_(post) {}
    void Planned(int, long frames) override { runPlanned_ = frames; }
    void FileStarted(const std::string& path, int index, int total) override {
        path_ = path, index_ = index, total_ = total, fileFrames_ = 0;
        Strip();
    }
    void FileFrames(int frames) override { filePlanned_ = frames; }
    void FrameWritten(const std::string&) override {
        ++fileFrames_, ++runFrames_;
        Strip();
    }
    void FrameShown(const FrameImage& frame, ExportKind kind) override {
        if (pacer_.Offer(ViewPacer::Clock::now())) {
            Picture(MakeFramePixels(frame, kind));
        } else {
            CopyFrame(frame, kept_);
            keptKind_ = kind;
        }
    }
    void Finish(const BatchReport& report, const std::string& folder, double seconds) {
        if (pacer_.Finish()) Picture(MakeFramePixels(kept_, keptKind_));
        auto update = std::make_unique<RunUpdate>();
        update->type = RunUpdate::kFinished;
        update->runFrames = runFrames_, update->runPlanned = runPlanned_;
        update->framesWritten = report.framesWritten;
        update->light = report.stop == BatchStop::kInterrupted ? 4 : report.clean() ? 2 : 3;
        if (FoundNoDataFiles(report)) {
            update->light = 3;
            update->strip = present::NoDataFiles(folder, DataFilesInSubfolders(folder, false));
        } else {
            update->strip = present::StatusLine(report, seconds, runPlanned_ > 0 ? std::optional<long>(runPlanned_) : std::nullopt);
        }
        if (report.stop != BatchStop::kInterrupted) update->failureMessage = present::FailureMessage(report);
        update->reportLines = present::ReportLines(report);
        post_(std::move(update));
    }

private:
    void Strip() {
        auto update = std::make_unique<RunUpdate>();
        update->strip = present::StripLine(path_, index_, total_, fileFrames_, filePlanned_);
        update->runFrames = runFrames_, update->runPlanned = runPlanned_;
        post_(std::move(update));
    }
    void Picture(FramePixels pixels) {
        auto update = std::make_unique<RunUpdate>();
        update->type = RunUpdate::kPicture;
        update->picture = std::move(pixels);
        post_(std::move(update));
    }

    const std::function<void(std::unique_ptr<RunUpdate>)>& post_;
    std::string path_;
    int index_ = 0, total_ = 0, fileFrames_ = 0, filePlanned_ = 0;
    long runFrames_ = 0, runPlanned_ = 0;
    ViewPacer pacer_;
    FrameImage kept_;
    ExportKind keptKind_ = kNormalizedTiff;
};

}  // namespace

DialogRun::DialogRun(RunOptions options, std::function<void(std::unique_ptr<RunUpdate>)> post)
    : options_(std::move(options)), post_(std::move(post)) {
    KeepFrameBuffersForReuse();
}

DialogRun::~DialogRun() {
    stop_ = true;
    Join();
}

void DialogRun::Join() {
    if (thread_.joinable()) thread_.join();
}

void DialogRun::Start(const std::string& folder, int kind) {
    Join();
    stop_ = false;
    kind_ = kind;
    thread_ = std::thread([this, folder, kind] { Work(folder, kind); });
}

// The run's thread. Nothing thrown leaves it: whatever escapes the run ends in the report.
void DialogRun::Work(const std::string& folder, int kind) {
    const auto started = std::chrono::steady_clock::now();
    Observer observer(post_);
    BatchReport report;
    try {
        BatchSettings settings;
        settings.plannedKind = kind;
        settings.settle = options_.settle;
        if (options_.pause) settings.pause = options_.pause;
        settings.jobs = options_.jobs > 0 ? options_.jobs : DefaultJobs();
        settings.stopRequested = [this] { return stop_.load(); };
        settings.makeControl = [] { return std::make_unique<CGetdatactrl1>(); };
        CGetdatactrl1 control;
        report = RunBatch(control, folder, [this] { return kind_.load(); }, settings, observer);
    } catch (const std::exception& e) {
        report.failures.push_back(BatchFailure{folder, kNoFrame, folder, std::string("run stopped: ") + e.what()});
        report.stop = BatchStop::kFrameFailed;
    }
    observer.Finish(report, folder, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

}  // namespace qf::win
