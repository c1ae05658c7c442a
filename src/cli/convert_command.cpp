#include "cli/convert_command.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <memory>
#include <thread>

#include "cli/json_report.h"
#include "cli/kind_names.h"
#include "cli/progress_printer.h"
#include "cli/salvage.h"
#include "cli/stop_signals.h"
#include "control/getdata_ctrl.h"
#include "convert/batch_run.h"
#include "convert/run_tally.h"
#include "export/export_kinds.h"
#include "platform/display_name.h"
#include "platform/file_io.h"
#include "platform/output_file.h"

namespace qf {
namespace {

// The progress printer, with the tests' hook after each output.
class HookedPrinter : public ProgressPrinter {
public:
    HookedPrinter(std::ostream& err, bool live, bool quiet, const CliHooks* hooks)
        : ProgressPrinter(err, live, quiet), hooks_(hooks) {}
    void FrameWritten(const std::string& output) override {
        ProgressPrinter::FrameWritten(output);
        if (hooks_ && hooks_->frameWritten) hooks_->frameWritten(output);
    }

private:
    const CliHooks* hooks_;
};

int ExitStatusFor(const BatchReport& report) {
    switch (report.stop) {
        case BatchStop::kTiffCannotCreate: return kExitTiffStopped;
        case BatchStop::kFolderUnreadable: return kExitUsage;
        default: return report.clean() ? kExitOk : kExitFailures;
    }
}

// After a stop: one line for each data file and input that the run never reached.
void ListUnconverted(const BatchReport& report, const std::vector<std::string>& laterPaths, std::ostream& err) {
    if (!report.stoppedIn.empty()) {
        err << "quillfen-cli: " << DisplayName(report.stoppedIn)
            << ": its later frames were not converted (the run stopped)\n";
    }
    for (const std::string& path : report.notConverted) {
        err << "quillfen-cli: " << DisplayName(path) << ": not converted (the run stopped before it)\n";
    }
    for (const std::string& path : laterPaths) {
        err << "quillfen-cli: " << DisplayName(path) << ": not converted (the run stopped before it)\n";
    }
}

// The dry run's list: each data file, each frame's output or why it gets none.
void PrintPlan(const BatchReport& report, std::ostream& out) {
    for (const FileRecord& file : report.files) {
        out << DisplayName(file.path) << ": " << file.framesPlanned << (file.framesPlanned == 1 ? " frame" : " frames")
            << "\n";
        for (const PlannedLine& line : file.plan) {
            out << "  frame " << line.frame;
            if (line.refusal.empty()) out << " -> " << DisplayName(line.output) << "\n";
            else out << ": " << line.refusal << "\n";
        }
    }
}

BatchSettings SettingsFor(const ConvertOptions& o) {
    BatchSettings settings;
    if (o.settleMs >= 0) settings.settle = std::chrono::milliseconds(o.settleMs);
    settings.sync = o.sync;
    settings.plannedKind = o.kind;
    settings.dryRun = o.dryRun;
    settings.outputDir = o.outputDir;
    settings.noClobber = o.noClobber;
    settings.recursive = o.recursive;
    settings.shardIndex = o.shardIndex;
    settings.shardCount = o.shardCount;
    settings.names = std::make_shared<RunNames>();
    if (!o.namePattern.empty()) {
        settings.pattern = std::make_shared<const NamePattern>(NamePattern::Parse(o.namePattern).value());
    }
    settings.stopRequested = [] { return StopSignals::Received() != 0; };
    settings.jobs = o.jobs > 0 ? o.jobs : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    return settings;
}

int WriteReport(const ConvertOptions& o, const std::vector<InputReport>& reports, int status, double seconds,
                std::ostream& out, std::ostream& err) {
    const std::string json = ReportJson(reports, o.kind, o.dryRun, status, seconds);
    if (o.report == "-") {
        out << json;
        return status;
    }
    // A FIFO, a terminal or a device (/dev/stdout, a process substitution) takes the report
    // as it comes; only a regular file, or none, is replaced whole.
    if (const Result<FileFacts> there = FactsAt(kWorkingFolder, o.report, true);
        there.ok() && there.value().type == FileType::kOther) {
        std::ofstream stream(std::filesystem::path(std::u8string(o.report.begin(), o.report.end())), std::ios::binary);
        stream << json << std::flush;
        if (!stream) {
            err << "quillfen-cli: " << DisplayName(o.report) << ": cannot write the report\n";
            return std::max(status, kExitFailures);
        }
        return status;
    }
    // Written like an output: complete or not at all, and never half over an older report.
    OutputFile file(OutputTarget(o.report));
    file.Write(json.data(), json.size());
    if (Status written = file.Commit(); !written.ok()) {
        err << "quillfen-cli: " << DisplayName(o.report) << ": cannot write the report: " << written.message() << "\n";
        return std::max(status, kExitFailures);
    }
    return status;
}

}  // namespace

CLI::App* AddConvertCommand(CLI::App& app, ConvertOptions& o) {
    auto* cmd = app.add_subcommand("convert", "Convert every .orx file of each FOLDER (or each FILE), one image per frame");
    cmd->add_option("--kind", o.kind, "Output kind: " + KindNameList())
        ->type_name("KIND")
        ->transform(CLI::Validator(
            [](std::string& text) -> std::string {
                const int kind = ParseKindName(text);
                if (kind < 0) return NotAKindMessage(text);
                text = std::to_string(kind);
                return std::string();
            },
            "", "kind"))
        ->default_str("normalized-tiff");
    cmd->add_option("--settle-ms", o.settleMs,
                    "Pause after each load and each frame step, in ms, for acquisition controls that need "
                    "time to settle (default: what the control asks for; 0 for ORX files)")
        ->check(CLI::Range(0, 60000));
    cmd->add_flag("--quiet", o.quiet, "Show failures only");
    cmd->add_flag("--sync", o.sync,
                  "Flush each output to the disk before it replaces its name, so that a power "
                  "loss cannot leave an empty image where a good one was (slower)");
    cmd->add_flag("--dry-run", o.dryRun, "Print the plan (every output, every frame that would not be written "
                                         "and why) and write nothing");
    cmd->add_option("--output-dir", o.outputDir, "Write the outputs into DIR (created if missing), not beside the data")
        ->type_name("DIR");
    cmd->add_option("--name-pattern", o.namePattern,
                    "Name outputs by pattern, e.g. {stem}_{frame:04}; placeholders {stem} {name} {frame} "
                    "{frame:N} {kind}; the kind's extension follows")
        ->type_name("PATTERN")
        ->check([](const std::string& text) {
            Result<NamePattern> pattern = NamePattern::Parse(text);
            return pattern.ok() ? std::string() : pattern.message();
        });
    cmd->add_flag("--no-clobber", o.noClobber, "Keep existing outputs (reported as kept) instead of replacing them");
    cmd->add_flag("--recursive", o.recursive, "Convert subfolders too (files first, then folders, in name order; "
                                              "linked folders are not followed)");
    cmd->add_flag("--salvage", o.salvage,
                  "Convert the complete frames of a data file cut off inside a frame (an aborted "
                  "acquisition); the frames missing are reported as one failure of the file");
    cmd->add_option("--report", o.report, "Write a JSON report of the run to FILE (- for standard output)")
        ->type_name("FILE")
        ->check([](const std::string& path) {
            // A report never takes the place of a data file, just as an image never does.
            const std::string name = path.substr(LastSeparator(path) + 1);
            return FindDataExtension(name) == std::string::npos ? std::string()
                                                          : std::string("a report may not be named like a data file (.orx)");
        });
    cmd->add_option("--shard", o.shard, "Convert only part K of N of the data files (dealt round by name order), "
                                        "for N processes on N machines")
        ->type_name("K/N")
        ->check([&o](const std::string& text) {
            int k = 0, n = 0;
            char slash = 0, extra = 0;
            if (std::sscanf(text.c_str(), "%d%c%d%c", &k, &slash, &n, &extra) != 3 || slash != '/' || n < 1 ||
                k < 1 || k > n) {
                return std::string("a shard is K/N with 1 <= K <= N, e.g. 2/8");
            }
            o.shardIndex = k;
            o.shardCount = n;
            return std::string();
        });
    cmd->add_option("--jobs", o.jobs,
                    "Convert N frames at once, each on its own core (default: the number of online "
                    "cores); the outputs, messages and exit status are those of --jobs 1")
        ->type_name("N")
        ->check(CLI::Range(1, 1024));
    cmd->add_option("PATH", o.paths, "Folders (or single data files) to convert")->required();
    return cmd;
}

int RunConvert(const ConvertOptions& o, std::ostream& out, std::ostream& err, const CliHooks* hooks) {
    const auto salvaged = std::make_shared<SalvageLog>();
    const std::unique_ptr<CGetdatactrl1> owned = MakeOrxControl(o.salvage, salvaged);
    CGetdatactrl1& control = *owned;
    control.StartDriver();
    StopSignals signals;
    HookedPrinter printer(err, StandardErrorIsTerminal(), o.quiet, hooks);
    BatchSettings settings = SettingsFor(o);
    if (o.salvage) settings.makeControl = [salvaged] { return MakeOrxControl(true, salvaged); };
    std::vector<InputReport> reports;
    std::ostream& planOut = o.report == "-" ? err : out;
    int status = kExitOk;
    double seconds = 0;
    for (std::size_t i = 0; i < o.paths.size(); ++i) {
        const std::string& path = o.paths[i];
        BatchReport report = RunBatch(control, path, [&] { return o.kind; }, settings, printer);
        if (o.salvage) ReportCutOffFiles(report, *salvaged, printer);
        printer.Finish();
        settings.shardOffset += static_cast<std::size_t>(report.plannedDataFiles);
        seconds += report.seconds;
        if (o.dryRun) PrintPlan(report, planOut);
        if (!o.quiet) {
            SummaryContext context{path, o.outputDir, 0};
            // A folder without data files may hold them deeper: a forgotten --recursive.
            if (FoundNoDataFiles(report) && !o.recursive) context.inSubfolders = DataFilesInSubfolders(path);
            err << "quillfen-cli: " << SummaryLine(report, context) << "\n";
        }
        const bool stopped = report.stop != BatchStop::kNone && report.stop != BatchStop::kFolderUnreadable;
        const std::vector<std::string> later(o.paths.begin() + static_cast<std::ptrdiff_t>(i) + 1, o.paths.end());
        if (stopped) ListUnconverted(report, later, err);
        status = std::max(status, ExitStatusFor(report));
        if (report.stop == BatchStop::kInterrupted) status = 128 + StopSignals::Received();
        reports.push_back(InputReport{path, std::move(report), stopped ? later : std::vector<std::string>{}});
        if (stopped) break;
    }
    if (!o.report.empty()) status = WriteReport(o, reports, status, seconds, out, err);
    return status;
}

}  // namespace qf
