#include "cli/watch_command.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/progress_printer.h"
#include "cli/run_end.h"
#include "convert/cut_off_files.h"
#include "cli/stop_signals.h"
#include "convert/folder_watch.h"
#include "platform/display_name.h"
#include "present/watch_texts.h"

namespace qf {
namespace {

using std::chrono::milliseconds;

milliseconds Millis(double seconds) { return milliseconds(std::llround(seconds * 1000)); }

// What the command line shows of a watch: convert's progress printer for each conversion,
// a live line saying what the watch waits for, the report's lines, and the exit status.
class WatchPrinter : public FolderWatchObserver {
public:
    WatchPrinter(const WatchOptions& o, std::ostream& out, std::ostream& err, const CliHooks* hooks)
        : o_(o), out_(out), err_(err), live_(StandardErrorIsTerminal() && !o.quiet),
          printer_(err, live_, o.quiet, hooks) {}

    bool OpenReport();
    int status() const { return status_; }
    const WatchStanding& last() const { return last_; }
    /// Takes the live lines away.
    void Finish() {
        ClearStatus();
        printer_.Finish();
    }

    // The conversion's events go to convert's printer.
    void Planned(int files, long frames) override { printer_.Planned(files, frames); }
    void FileStarted(const std::string& path, int index, int total) override {
        printer_.FileStarted(path, index, total);
    }
    void FileFrames(int frames) override { printer_.FileFrames(frames); }
    void PlannedPixels(std::uint64_t pixels) override { printer_.PlannedPixels(pixels); }
    void FileFramePixels(std::uint64_t pixels) override { printer_.FileFramePixels(pixels); }
    void FrameWritten(const std::string& output) override { printer_.FrameWritten(output); }
    bool ShowsFrames() const override { return false; }
    void Failed(const BatchFailure& failure) override { printer_.Failed(failure); }
    void Noted(const std::string& line) override { printer_.Noted(line); }

    void Acting() override { ClearStatus(); }
    void Looked(const WatchStanding& standing) override;
    void FileDone(const std::string& path, const BatchReport& report) override;

private:
    void WriteLine(const std::string& path, const BatchReport& report);
    void ClearStatus();

    const WatchOptions& o_;
    std::ostream& out_;
    std::ostream& err_;
    bool live_;
    HookedPrinter printer_;
    std::ofstream reportFile_;
    int status_ = kExitOk;
    bool statusShown_ = false;
    WatchStanding last_;
};

// Appended to: a watch started again goes on with the lines of the one before.
bool WatchPrinter::OpenReport() {
    if (o_.report.empty() || o_.report == "-") return true;
    const std::u8string name(o_.report.begin(), o_.report.end());
    reportFile_.open(std::filesystem::path(name), std::ios::binary | std::ios::app);
    if (!reportFile_) {
        err_ << "quillfen-cli: " << DisplayName(o_.report) << ": cannot write the report\n";
        return false;
    }
    return true;
}

void WatchPrinter::Looked(const WatchStanding& standing) {
    last_ = standing;
    if (!live_ || o_.once) return;
    const std::string folder = DisplayName(o_.paths.front()) + (o_.paths.size() > 1 ? " and more" : "");
    err_ << "\r\033[K" << present::WatchLine(folder, standing) << std::flush;
    statusShown_ = true;
}

void WatchPrinter::FileDone(const std::string& path, const BatchReport& report) {
    printer_.Finish();
    status_ = std::max(status_, ExitStatusFor(report));
    if (report.stop == BatchStop::kInterrupted) ListUnconverted(report, {}, err_);
    WriteLine(path, report);
}

// One JSON object on one line, flushed, so that `tail -f` shows each file as it is done.
void WatchPrinter::WriteLine(const std::string& path, const BatchReport& report) {
    if (o_.report.empty()) return;
    const FileRecord* record = report.files.empty() ? nullptr : &report.files[0];
    nlohmann::json line;
    line["path"] = path;
    line["outputs"] = record ? record->written : std::vector<std::string>{};
    line["kept"] = record ? record->kept : std::vector<std::string>{};
    line["failures"] = nlohmann::json::array();
    for (const BatchFailure& failure : report.failures) {
        nlohmann::json f;
        f["path"] = failure.path;
        if (failure.frame != kNoFrame) f["frame"] = failure.frame;
        f["cause"] = failure.cause;
        line["failures"].push_back(f);
    }
    std::ostream& to = o_.report == "-" ? out_ : static_cast<std::ostream&>(reportFile_);
    to << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    to.flush();
}

void WatchPrinter::ClearStatus() {
    if (!statusShown_) return;
    err_ << "\r\033[K" << std::flush;
    statusShown_ = false;
}

// What --once leaves: the data files still being written, and how far each has come.
void ListBeingWritten(const WatchStanding& standing, std::ostream& err) {
    for (const BeingWritten& file : standing.beingWritten) {
        err << "quillfen-cli: " << DisplayName(file.path) << ": being written ("
            << (file.step.headerFrames == 0 ? std::string("no header yet")
                                            : std::to_string(file.step.completeFrames) + " of " +
                                                  std::to_string(file.step.headerFrames) + " frames")
            << "); not converted yet\n";
    }
}

}  // namespace

CLI::App* AddWatchCommand(CLI::App& app, WatchOptions& o) {
    auto* cmd = app.add_subcommand(
        "watch", "Convert each .orx file of each FOLDER as soon as it is complete, while the camera still records");
    AddConvertOptions(cmd, o, true);
    cmd->add_option("--poll", o.pollSeconds, "Look at the folders every SECONDS (default 1)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.01, 3600.0));
    cmd->add_option("--settle-time", o.settleSeconds,
                    "Convert a data file once it has been complete and unchanged for SECONDS (default 2)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 86400.0));
    cmd->add_option("--give-up-after", o.giveUpSeconds,
                    "A data file still short and unchanged after SECONDS is a failure (default 600); "
                    "with --salvage its complete frames are converted")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 31536000.0));
    cmd->add_flag("--poll-only", o.pollOnly,
                  "Find new data files by the looks alone, without the system's change notices (which "
                  "only wake a look sooner on a local disk)");
    cmd->add_flag("--once", o.once, "Look once: convert what is complete and settled, list what is still being "
                                    "written, and end");
    cmd->add_option("FOLDER", o.paths, "Folders to watch (or single data files)")->required();
    return cmd;
}

int RunWatch(const WatchOptions& o, std::ostream& out, std::ostream& err, const CliHooks* hooks) {
    StopSignals signals;
    if (std::string problem = ReportNameProblem(o.report, {}); !problem.empty()) {
        err << "quillfen-cli: --report: " << problem << " (--help tells more)\n";
        return kExitUsage;
    }
    for (const std::string& path : o.paths) {
        if (const Result<FileFacts> facts = FactsAt(kWorkingFolder, path, true); !facts.ok()) {
            err << "quillfen-cli: " << DisplayName(path) << ": cannot watch: " << facts.message() << "\n";
            return kExitUsage;
        }
    }
    WatchPrinter printer(o, out, err, hooks);
    if (!printer.OpenReport()) return kExitUsage;
    FolderWatchSettings watching;
    watching.paths = o.paths;
    watching.times = WatchTimes{Millis(o.settleSeconds), Millis(o.giveUpSeconds)};
    watching.poll = Millis(o.pollSeconds);
    watching.salvage = o.salvage;
    watching.notify = !o.pollOnly;
    watching.once = o.once;
    BatchSettings settings = ConvertSettings(o);
    // A file is salvaged only once the watch gives up on it: the watch's own control does that.
    settings.makeControl = [] { return MakeRunControl(false, nullptr); };
    FolderWatch watch(std::move(watching), std::move(settings), [&o] { return o.plannedKind; }, printer);
    SystemWatchClock system;
    watch.Run(hooks && hooks->watchClock ? *hooks->watchClock : system);
    printer.Finish();
    if (o.once && !o.quiet) ListBeingWritten(printer.last(), err);
    const long converted = watch.standing().converted;
    if (!o.quiet) err << "quillfen-cli: watch: " << converted << (converted == 1 ? " data file" : " data files")
                      << " converted\n";
    if (watch.interrupted() || StopSignals::Received() != 0) return 128 + StopSignals::Received();
    return printer.status();
}

}  // namespace qf
