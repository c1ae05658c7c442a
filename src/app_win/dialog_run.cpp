#include "app_win/dialog_run.h"

#include <algorithm>

#include "control/getdata_ctrl.h"
#include "control/orx_control.h"
#include "convert/batch_run.h"
#include "convert/cut_off_files.h"
#include "convert/folder_watch.h"
#include "convert/run_progress.h"
#include "convert/run_tally.h"
#include "platform/file_io.h"
#include "platform/memory.h"
#include "present/run_texts.h"
#include "present/view_pacer.h"
#include "present/watch_texts.h"

namespace qf::win {
namespace {

// Lives on the run's thread: turns the run's events into updates for the window.
class Observer : public FolderWatchObserver {
public:
    Observer(const std::function<void(std::unique_ptr<RunUpdate>)>& post, bool salvaging, std::string folder)
        : post_(post), salvaging_(salvaging), folder_(std::move(folder)) {}
    void Planned(int, long frames) override {
        runPlanned_ = frames;
        progress_.Planned(frames, 0);
    }
    void PlannedPixels(std::uint64_t pixels) override { progress_.Planned(0, pixels); }
    void FileStarted(const std::string& path, int index, int total) override {
        path_ = path, index_ = index, total_ = total, fileFrames_ = 0;
        Strip();
    }
    void FileFrames(int frames) override {
        filePlanned_ = frames;
        progress_.FileFrameSize(0);
    }
    void FileFramePixels(std::uint64_t pixels) override { progress_.FileFrameSize(pixels); }
    void FrameWritten(const std::string&) override {
        ++fileFrames_, ++runFrames_;
        progress_.FrameDone();
        Strip();
    }
    void FrameShown(const FrameImage& frame, ExportKind kind) override {
        shown_ = true;
        if (pacer_.Offer(ViewPacer::Clock::now())) {
            Picture(MakeFramePixels(frame, kind));
        } else {
            CopyFrame(frame, kept_);
            keptKind_ = kind;
        }
    }
    // The watch after the run: the strip says what it waits for, the light stays blue.
    void Looked(const WatchStanding& standing) override {
        auto update = std::make_unique<RunUpdate>();
        update->strip = present::WatchLine(folder_, standing);
        post_(std::move(update));
    }
    void FileDone(const std::string&, const BatchReport&) override {
        if (pacer_.Finish()) Picture(MakeFramePixels(kept_, keptKind_));
    }
    void Finish(const BatchReport& report, const std::string& folder, double seconds, const RunOptions& options) {
        if (pacer_.Finish()) Picture(MakeFramePixels(kept_, keptKind_));
        auto update = std::make_unique<RunUpdate>();
        update->type = RunUpdate::kFinished;
        update->runFrames = runFrames_, update->runPlanned = runPlanned_;
        update->framesWritten = report.framesWritten;
        update->light = report.stop == BatchStop::kInterrupted ? 4 : report.clean() ? 2 : 3;
        if (FoundNoDataFiles(report)) {
            update->light = 3;
            // With subfolders converted there are none deeper to point to.
            update->strip = present::NoDataFiles(folder, options.recursive ? 0 : DataFilesInSubfolders(folder, options.onlyOrx));
        } else {
            update->strip = present::StatusLine(report, seconds, runPlanned_ > 0 ? std::optional<long>(runPlanned_) : std::nullopt);
        }
        update->framesShown = shown_;
        update->failureMessage = present::FailureMessage(report);
        // A file cut off inside a frame (an aborted acquisition) has complete frames to save.
        if (const Salvageable cut = salvaging_ ? Salvageable{} : SalvageableIn(report); cut.files > 0) {
            update->failureMessage += "\n\n" + std::string(cut.files == 1 ? "1 data file ends" : std::to_string(cut.files) + " data files end") +
                                      " inside a frame (cut off): with \"Convert the complete frames of cut-off files\" in Output "
                                      "Options their complete frames are converted.";
        }
        update->reportLines = present::ReportLines(report);
        post_(std::move(update));
    }

private:
    // The bar and the time left follow the pixels done: a large frame is more work.
    void Strip() {
        auto update = std::make_unique<RunUpdate>();
        update->strip = present::StripLine(path_, index_, total_, fileFrames_, filePlanned_);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        if (const std::optional<double> rate = progress_.FramesPerSecond(elapsed)) {
            update->strip += " \u00b7 " + present::RateText(*rate, progress_.SecondsLeft(elapsed));
        }
        update->runFrames = runFrames_, update->runPlanned = runPlanned_;
        update->fraction = progress_.Fraction();
        post_(std::move(update));
    }
    void Picture(FramePixels pixels) {
        auto update = std::make_unique<RunUpdate>();
        update->type = RunUpdate::kPicture;
        update->picture = std::move(pixels);
        post_(std::move(update));
    }

    const std::function<void(std::unique_ptr<RunUpdate>)>& post_;
    bool salvaging_ = false;
    std::string folder_;
    bool shown_ = false;
    std::string path_;
    int index_ = 0, total_ = 0, fileFrames_ = 0, filePlanned_ = 0;
    long runFrames_ = 0, runPlanned_ = 0;
    ViewPacer pacer_;
    RunProgress progress_;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    FrameImage kept_;
    ExportKind keptKind_ = kNormalizedTiff;
};

}  // namespace

DialogRun::DialogRun(std::function<void(std::chrono::milliseconds)> pause,
                     std::function<void(std::unique_ptr<RunUpdate>)> post)
    : pause_(std::move(pause)), post_(std::move(post)) {
    KeepFrameBuffersForReuse();
}

DialogRun::~DialogRun() {
    stop_ = true;
    Join();
}

void DialogRun::Join() {
    if (thread_.joinable()) thread_.join();
}

void DialogRun::Start(const std::string& folder, int kind, const RunOptions& options, bool keepWatching) {
    Join();
    stop_ = false;
    kind_ = kind;
    RunOptions planned = options;
    planned.plannedKind = kind;
    thread_ = std::thread([this, folder, planned, keepWatching] { Work(folder, planned, keepWatching); });
}

// The run's thread. Nothing thrown leaves it: whatever escapes the run ends in the report.
void DialogRun::Work(const std::string& folder, const RunOptions& options, bool keepWatching) {
    const bool salvage = options.salvage;
    const auto started = std::chrono::steady_clock::now();
    Observer observer(post_, salvage, folder);
    BatchReport report;
    try {
        // Every control of the run salvages and tells one log, so that the report can list
        // the frames missing from each cut-off file.
        std::shared_ptr<SalvageLog> log = salvage ? std::make_shared<SalvageLog>() : nullptr;
        BatchSettings settings = SettingsToRun(options, log);
        if (pause_) settings.pause = pause_;
        settings.stopRequested = [this] { return stop_.load(); };
        const std::unique_ptr<CGetdatactrl1> owned = MakeRunControl(salvage, log);
        CGetdatactrl1& control = *owned;
        // One registry for the run and the watch after it: the run's outputs keep their names.
        settings.names = std::make_shared<RunNames>();
        report = RunBatch(control, folder, [this] { return kind_.load(); }, settings, observer);
        if (log) ReportCutOffFiles(report, *log, observer);
        if (keepWatching && report.stop == BatchStop::kNone && !stop_) {
            FolderWatchSettings watch;
            watch.salvage = salvage;
            if (watchSettle_) watch.times.settle = *watchSettle_;
            if (watchGiveUp_) watch.times.giveUp = *watchGiveUp_;
            SystemWatchClock clock;
            KeepWatchingAfter(folder, std::move(watch), settings, [this] { return kind_.load(); }, observer, clock, report);
        }
    } catch (const std::exception& e) {
        report.failures.push_back(BatchFailure{folder, kNoFrame, folder, std::string("run stopped: ") + e.what()});
        report.stop = BatchStop::kFrameFailed;
    }
    observer.Finish(report, folder, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                    options);
}

}  // namespace qf::win
