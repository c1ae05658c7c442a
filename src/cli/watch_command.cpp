#include "cli/watch_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "cli/progress_printer.h"
#include "cli/run_end.h"
#include "cli/salvage.h"
#include "cli/stop_signals.h"
#include "convert/cut_off_files.h"
#include "convert/plan.h"
#include "platform/display_name.h"
#include "platform/output_file.h"

namespace qf {
namespace {

using std::chrono::milliseconds;

class SystemClock : public WatchClock {
public:
    WatchTime Now() override { return std::chrono::system_clock::now(); }
    // A signal handler may not wake a condition variable, so the pause is cut into short
    // sleeps that each look at the stop: a stop is seen within a tenth of a second.
    bool Pause(milliseconds pause, const std::function<bool()>& stopped) override {
        const auto end = std::chrono::steady_clock::now() + pause;
        while (!stopped()) {
            const auto left = std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now());
            if (left <= milliseconds(0)) return true;
            std::this_thread::sleep_for(std::min(left, milliseconds(100)));
        }
        return false;
    }
};

milliseconds Millis(double seconds) { return milliseconds(std::llround(seconds * 1000)); }

std::string SecondsText(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}

/// A data file found by a look, and the subfolder of its watched folder it is in.
struct Found {
    std::string path;
    std::string subfolder;  ///< "" for the watched folder itself
    FileFacts facts;        ///< as the listing found it
};

bool Excluded(const WatchOptions& o, const std::string& name) {
    return std::any_of(o.exclude.begin(), o.exclude.end(), [&](const std::string& glob) { return MatchesGlob(glob, name); });
}

// As the plan takes entries: a name holding .orx (ending in it under --only-orx), but not an
// image an earlier run (or this watch) wrote under such a name.
bool TakenAsData(const WatchOptions& o, int folderFd, const std::string& name) {
    if (FindDataExtension(name) == std::string::npos || IsTemporaryName(name)) return false;
    if (o.onlyOrx && !EndsInDataExtension(name)) return false;
    return !IsEarlierOutput(folderFd, name);
}

// Every data file of `folder` (and, recursively, its subfolders) by name order; linked
// folders are not followed, as convert follows none.
/// What one look found: the data files, and the folders it could not read (path, cause).
struct Listing {
    std::vector<Found> found;
    std::vector<std::pair<std::string, std::string>> unreadable;
};

void ListFolder(const WatchOptions& o, const std::string& folder, const std::string& subfolder, int fd,
                Listing& listing) {
    std::vector<Found>& found = listing.found;
    const Result<std::vector<std::string>> names = ListNames(fd);
    if (!names.ok()) {
        listing.unreadable.emplace_back(folder, names.message());
        return;
    }
    std::vector<std::string> folders;
    for (const std::string& name : names.value()) {
        if (Excluded(o, name)) continue;
        const Result<FileFacts> facts = FactsAt(fd, name, LinksLeadToDataFiles());
        if (!facts.ok()) continue;
        if (facts.value().type == FileType::kRegular && TakenAsData(o, fd, name)) {
            found.push_back(Found{WithTrailingSeparator(folder) + name, subfolder, facts.value()});
        } else if (o.recursive && facts.value().type == FileType::kFolder) {
            folders.push_back(name);
        }
    }
    for (const std::string& name : folders) {
        const Result<int> sub = OpenSubfolder(fd, name);
        if (!sub.ok()) {
            listing.unreadable.emplace_back(WithTrailingSeparator(folder) + name, sub.message());
            continue;
        }
        ListFolder(o, WithTrailingSeparator(folder) + name,
                   subfolder.empty() ? name : WithTrailingSeparator(subfolder) + name, sub.value(), listing);
        CloseFile(sub.value());
    }
}

Listing ListDataFiles(const WatchOptions& o) {
    Listing listing;
    for (const std::string& path : o.paths) {
        const Result<FileFacts> facts = FactsAt(kWorkingFolder, path, true);
        if (!facts.ok()) {
            listing.unreadable.emplace_back(path, facts.message());
            continue;
        }
        if (facts.value().type != FileType::kFolder) {
            listing.found.push_back(Found{path, "", facts.value()});
            continue;
        }
        const Result<int> fd = OpenFolder(path);
        if (!fd.ok()) {
            listing.unreadable.emplace_back(path, fd.message());
            continue;
        }
        ListFolder(o, path, "", fd.value(), listing);
        CloseFile(fd.value());
    }
    return listing;
}

// A data file's first bytes and facts, read through one descriptor so that they agree.
struct Head {
    FileFacts facts;
    std::uint8_t bytes[kOrxHeaderSize] = {};
    std::size_t got = 0;
};

Result<Head> ReadHead(const std::string& path) {
    const Result<int> fd = OpenToRead(path);
    if (!fd.ok()) return fd.error();
    Head head;
    const Result<FileFacts> facts = FactsOf(fd.value());
    const Result<std::size_t> got = ReadAt(fd.value(), 0, head.bytes, sizeof head.bytes);
    CloseFile(fd.value());
    if (!facts.ok()) return facts.error();
    if (!got.ok()) return got.error();
    head.facts = facts.value();
    head.got = got.value();
    return head;
}

// The file as it stands.
std::optional<FileLook> LookAt(const std::string& path) {
    const Result<Head> head = ReadHead(path);
    if (!head.ok()) return std::nullopt;
    const Head& h = head.value();
    FileLook look;
    look.facts = h.facts;
    const std::size_t signature = std::min(h.got, kOrxSignature.size());
    if (h.got < kOrxHeaderSize) {
        look.headerIncomplete = std::equal(h.bytes, h.bytes + signature, kOrxSignature.begin());
    } else if (Result<OrxHeader> header = ParseOrxHeaderFields(h.bytes, h.got); header.ok()) {
        look.header = header.value();
    }
    return look;
}

// The header's own words for a file of the wrong length, e.g. "truncated: 64 bytes,
// expected 80 for 3 frames".
std::string LengthWords(const std::string& path) {
    const Result<Head> head = ReadHead(path);
    if (!head.ok()) return head.message();
    return ParseOrxHeader(head.value().bytes, head.value().got, head.value().facts.size).message();
}

// `subfolder` of `outputDir`, made as needed, level by level, as --mirror makes it.
std::string MirroredFolder(const std::string& outputDir, const std::string& subfolder) {
    std::string made = outputDir;
    for (std::size_t from = 0; from <= subfolder.size();) {
        const std::size_t to = std::min(subfolder.find_first_of(kPathSeparators, from), subfolder.size());
        made = WithTrailingSeparator(made) + subfolder.substr(from, to - from);
        (void)MakeFolder(made);  // one that cannot be made fails the conversion, which says why
        from = to + 1;
    }
    return made;
}

class Watch {
public:
    Watch(const WatchOptions& o, std::ostream& out, std::ostream& err, WatchClock& clock, const CliHooks* hooks)
        : o_(o), out_(out), err_(err), clock_(clock), live_(StandardErrorIsTerminal() && !o.quiet),
          printer_(err, live_, o.quiet, hooks), tracker_(WatchTimes{Millis(o.settleSeconds), Millis(o.giveUpSeconds)}),
          salvaged_(std::make_shared<SalvageLog>()), control_(MakeOrxControl(false, nullptr)),
          salvaging_(MakeOrxControl(true, salvaged_)), settings_(ConvertSettings(o)) {
        control_->StartDriver();
        salvaging_->StartDriver();
        settings_.makeControl = [] { return MakeOrxControl(false, nullptr); };
    }

    int Run();

private:
    bool Stopped() const { return StopSignals::Received() != 0; }
    bool OpenReport();
    void ListBeingWritten();
    bool Look();
    void Act(const Found& file, const FileLook& look, const WatchStep& step);
    bool AlreadyDone(const std::string& path, const FileFacts& facts);
    void Convert(const Found& file, bool salvage);
    void Fail(const std::string& path, const std::string& cause);
    void WriteLine(const std::string& path, const FileRecord* record, const std::vector<BatchFailure>& failures);
    void ShowStatus();
    void ClearStatus();

    const WatchOptions& o_;
    std::ostream& out_;
    std::ostream& err_;
    WatchClock& clock_;
    bool live_;
    HookedPrinter printer_;
    AcquisitionWatch tracker_;
    std::shared_ptr<SalvageLog> salvaged_;
    std::unique_ptr<CGetdatactrl1> control_, salvaging_;
    BatchSettings settings_;
    std::ofstream reportFile_;
    int status_ = kExitOk;
    bool interrupted_ = false;
    long converted_ = 0;
    std::vector<std::pair<std::string, WatchStep>> beingWritten_;
    bool statusShown_ = false;
    std::set<std::string> unreadableSaid_;  ///< the folders said to be unreadable at the last look
};

int Watch::Run() {
    for (const std::string& path : o_.paths) {
        if (const Result<FileFacts> facts = FactsAt(kWorkingFolder, path, true); !facts.ok()) {
            err_ << "quillfen-cli: " << DisplayName(path) << ": cannot watch: " << facts.message() << "\n";
            return kExitUsage;
        }
    }
    if (!OpenReport()) return kExitUsage;
    while (Look() && !o_.once) {
        ShowStatus();
        if (!clock_.Pause(Millis(o_.pollSeconds), [this] { return Stopped(); })) break;
    }
    ClearStatus();
    if (o_.once && !o_.quiet) ListBeingWritten();
    if (!o_.quiet) err_ << "quillfen-cli: watch: " << converted_ << (converted_ == 1 ? " data file" : " data files")
                        << " converted\n";
    if (interrupted_ || Stopped()) return 128 + StopSignals::Received();
    return status_;
}

// Appended to: a watch started again goes on with the lines of the one before.
bool Watch::OpenReport() {
    if (o_.report.empty() || o_.report == "-") return true;
    const std::u8string name(o_.report.begin(), o_.report.end());
    reportFile_.open(std::filesystem::path(name), std::ios::binary | std::ios::app);
    if (!reportFile_) {
        err_ << "quillfen-cli: " << DisplayName(o_.report) << ": cannot write the report\n";
        return false;
    }
    return true;
}

// What --once leaves: the data files still being written, and how far each has come.
void Watch::ListBeingWritten() {
    for (const auto& [path, step] : beingWritten_) {
        err_ << "quillfen-cli: " << DisplayName(path) << ": being written ("
             << (step.headerFrames == 0 ? std::string("no header yet")
                                        : std::to_string(step.completeFrames) + " of " +
                                              std::to_string(step.headerFrames) + " frames")
             << "); not converted yet\n";
    }
}

// One look at every watched folder; false when a stop came.
bool Watch::Look() {
    beingWritten_.clear();
    const Listing listing = ListDataFiles(o_);
    // A folder that cannot be read is said once (until it can be read again), not each look.
    std::set<std::string> unreadable;
    for (const auto& [path, cause] : listing.unreadable) {
        unreadable.insert(path);
        if (!unreadableSaid_.contains(path)) Fail(path, "cannot read folder: " + cause + "; not watched");
    }
    unreadableSaid_ = std::move(unreadable);
    for (const Found& file : listing.found) {
        if (Stopped()) return false;
        // A file dealt with and unchanged since is not opened again: a folder of finished
        // files costs a listing a look.
        if (tracker_.Done(file.path, file.facts)) continue;
        const std::optional<FileLook> look = LookAt(file.path);
        if (!look) continue;
        const WatchStep step = tracker_.See(file.path, *look, clock_.Now());
        Act(file, *look, step);
        if (interrupted_) return false;
    }
    return !Stopped();
}

void Watch::Act(const Found& file, const FileLook& look, const WatchStep& step) {
    switch (step.action) {
    case WatchAction::kNothing:
        return;
    case WatchAction::kWait:
        beingWritten_.emplace_back(file.path, step);
        return;
    case WatchAction::kConvert:
        if (!AlreadyDone(file.path, look.facts)) Convert(file, false);
        tracker_.Converted(file.path, look.facts);
        return;
    case WatchAction::kGiveUp:
        if (o_.salvage && step.completeFrames > 0) {
            Convert(file, true);
            return;
        }
        Fail(file.path, "unchanged for " + SecondsText(o_.giveUpSeconds) + " s and still short (" +
                            LengthWords(file.path) + "): its " + std::to_string(step.completeFrames) +
                            " complete frames were not converted" + (o_.salvage ? "" : " (--salvage converts them)"));
        return;
    case WatchAction::kTooLong:
        Fail(file.path, "longer than its header says (" + LengthWords(file.path) + "); not converted");
        return;
    case WatchAction::kChangedAfter:
        Fail(file.path, "changed after it was converted; its outputs hold what it was then, and it is not converted again");
        return;
    }
}

// Converted by an earlier watch or run: every output its plan names is there, written
// since the data file last changed. A dry run names them, as convert names them.
bool Watch::AlreadyDone(const std::string& path, const FileFacts& facts) {
    BatchSettings dry = settings_;
    dry.dryRun = true;
    // The names this watch has written so far stay claimed: a later file whose outputs
    // would be another's is not done, however new those outputs are.
    dry.names = std::make_shared<RunNames>(*settings_.names);
    dry.jobs = 1;
    dry.makeControl = nullptr;
    BatchObserver silent;
    const std::vector<BatchReport> plan = RunBatches(*control_, {path}, [this] { return o_.plannedKind; }, dry, silent);
    if (plan.empty() || plan[0].files.size() != 1 || !plan[0].failures.empty()) return false;
    const FileRecord& record = plan[0].files[0];
    std::vector<std::string> outputs = record.written;
    outputs.insert(outputs.end(), record.kept.begin(), record.kept.end());
    if (outputs.empty() || static_cast<int>(record.plan.size()) != static_cast<int>(outputs.size())) return false;
    return std::all_of(outputs.begin(), outputs.end(), [&](const std::string& output) {
        const Result<FileFacts> there = FactsAt(kWorkingFolder, output, true);
        // Not before: a coarse clock may give the data file and its first output one time.
        return there.ok() && there.value().modified >= facts.modified;
    });
}

void Watch::Convert(const Found& file, bool salvage) {
    ClearStatus();
    BatchSettings settings = settings_;
    if (salvage) settings.makeControl = [log = salvaged_] { return MakeOrxControl(true, log); };
    if (o_.mirror && !file.subfolder.empty()) {
        // The run is over one file, so it cannot tell its subfolder: the folder is named here.
        settings.outputDir = MirroredFolder(o_.outputDir, file.subfolder);
        settings.mirror = false;
    }
    CGetdatactrl1& control = salvage ? *salvaging_ : *control_;
    std::vector<BatchReport> done = RunBatches(control, {file.path}, [this] { return o_.plannedKind; }, settings, printer_);
    printer_.Finish();
    if (done.empty()) {
        interrupted_ = true;
        return;
    }
    BatchReport& report = done[0];
    if (salvage) ReportCutOffFiles(report, *salvaged_, printer_);
    printer_.Finish();
    status_ = std::max(status_, ExitStatusFor(report));
    converted_ += report.filesConverted;
    if (report.stop == BatchStop::kInterrupted) {
        interrupted_ = true;
        ListUnconverted(report, {}, err_);
    }
    WriteLine(file.path, report.files.empty() ? nullptr : &report.files[0], report.failures);
}

void Watch::Fail(const std::string& path, const std::string& cause) {
    ClearStatus();
    const BatchFailure failure{path, kNoFrame, path, cause};
    printer_.Failed(failure);
    status_ = std::max(status_, kExitFailures);
    WriteLine(path, nullptr, {failure});
}

// One JSON object on one line, flushed, so that `tail -f` shows each file as it is done.
void Watch::WriteLine(const std::string& path, const FileRecord* record, const std::vector<BatchFailure>& failures) {
    if (o_.report.empty()) return;
    nlohmann::json line;
    line["path"] = path;
    line["outputs"] = record ? record->written : std::vector<std::string>{};
    line["kept"] = record ? record->kept : std::vector<std::string>{};
    line["failures"] = nlohmann::json::array();
    for (const BatchFailure& failure : failures) {
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

void Watch::ShowStatus() {
    if (!live_) return;
    std::string line = "watching " + DisplayName(o_.paths.front()) + (o_.paths.size() > 1 ? " and more" : "") + ": " +
                       std::to_string(converted_) + " converted";
    if (!beingWritten_.empty()) {
        const auto& [path, step] = beingWritten_.front();
        line += ", " + DisplayName(path.substr(LastSeparator(path) + 1)) + " being written";
        if (step.headerFrames > 0) {
            line += " (" + std::to_string(step.completeFrames) + " of " + std::to_string(step.headerFrames) + " frames)";
        }
    }
    err_ << "\r\033[K" << line << std::flush;
    statusShown_ = true;
}

void Watch::ClearStatus() {
    if (!statusShown_) return;
    err_ << "\r\033[K" << std::flush;
    statusShown_ = false;
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
    SystemClock system;
    Watch watch(o, out, err, hooks && hooks->watchClock ? *hooks->watchClock : system, hooks);
    return watch.Run();
}

}  // namespace qf
