#include "app_win/dialog_run.h"

#include "control/getdata_ctrl.h"
#include "control/orx_control.h"
#include "convert/batch_run.h"
#include "convert/cut_off_files.h"
#include "convert/folder_watch.h"
#include "platform/file_io.h"
#include "platform/memory.h"
#include "present/run_watch.h"

namespace qf::win {

DialogRun::DialogRun(std::function<void(std::chrono::milliseconds)> pause, std::function<void(present::RunChange)> wake)
    : pause_(std::move(pause)), wake_(std::move(wake)) {
    KeepFrameBuffersForReuse();
}

DialogRun::~DialogRun() {
    Stop();
    Join();
}

present::RunSnapshot DialogRun::Snapshot() const { return watch_ ? watch_->Snapshot() : present::RunSnapshot{}; }

void DialogRun::Stop() {
    {
        std::lock_guard lock(answerMutex_);
        stop_ = true;
    }
    answered_.notify_all();
    if (watch_) watch_->Stopping();
}

std::optional<NameClashes> DialogRun::PendingClashes() {
    std::lock_guard lock(answerMutex_);
    return clashes_;
}

void DialogRun::AnswerClashes(bool carryOn) {
    {
        std::lock_guard lock(answerMutex_);
        clashes_.reset();
        answer_ = carryOn;
    }
    answered_.notify_all();
}

// The run's thread: the window is told and answers in its own time; a stop ends the wait.
bool DialogRun::WaitForAnswer(const NameClashes& clashes) {
    {
        std::lock_guard lock(answerMutex_);
        clashes_ = clashes;
        answer_.reset();
    }
    tellClashes_();
    std::unique_lock lock(answerMutex_);
    answered_.wait(lock, [this] { return answer_.has_value() || stop_.load(); });
    clashes_.reset();
    return answer_.value_or(false) && !stop_.load();
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
    watch_ = std::make_unique<present::RunWatch>(folder, planned, present::RunWatch::Hooks{nullptr, wake_});
    thread_ = std::thread([this, folder, planned, keepWatching] { Work(folder, planned, keepWatching); });
}

// The run's thread. Nothing thrown leaves it: whatever escapes the run ends in the report.
void DialogRun::Work(const std::string& folder, const RunOptions& options, bool keepWatching) {
    const bool salvage = options.salvage;
    present::RunWatch& watch = *watch_;
    BatchReport report;
    try {
        // Every control of the run salvages and tells one log, so that the report can list
        // the frames missing from each cut-off file.
        std::shared_ptr<SalvageLog> log = salvage ? std::make_shared<SalvageLog>() : nullptr;
        BatchSettings settings = SettingsToRun(options, log);
        if (pause_) settings.pause = pause_;
        settings.stopRequested = [this] { return stop_.load(); };
        if (tellClashes_) settings.carryOnDespite = [this](const NameClashes& clashes) { return WaitForAnswer(clashes); };
        const std::unique_ptr<CGetdatactrl1> owned = MakeRunControl(salvage, log);
        CGetdatactrl1& control = *owned;
        // One registry for the run and the watch after it: the run's outputs keep their names.
        settings.names = std::make_shared<RunNames>();
        report = RunBatch(control, folder, [this] { return kind_.load(); }, settings, watch);
        if (log) ReportCutOffFiles(report, *log, watch);
        if (keepWatching && report.stop == BatchStop::kNone && !stop_) {
            FolderWatchSettings watchSettings;
            watchSettings.salvage = salvage;
            if (watchSettle_) watchSettings.times.settle = *watchSettle_;
            if (watchGiveUp_) watchSettings.times.giveUp = *watchGiveUp_;
            SystemWatchClock clock;
            KeepWatchingAfter(folder, std::move(watchSettings), settings, [this] { return kind_.load(); }, watch, clock,
                              report);
        }
    } catch (const std::exception& e) {
        present::EndByException(report, folder, e.what());
    } catch (...) {
        present::EndByException(report, folder, nullptr);
    }
    watch.Finish(report);
}

}  // namespace qf::win
