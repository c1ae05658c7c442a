#include "cli/convert_command.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <charconv>
#include <memory>
#include <set>

#include "cli/json_report.h"
#include "cli/output_options.h"
#include "cli/kind_names.h"
#include "cli/progress_printer.h"
#include "cli/run_end.h"
#include "cli/salvage.h"
#include "cli/stop_signals.h"
#include "control/getdata_ctrl.h"
#include "convert/batch_run.h"
#include "convert/frame_selection.h"
#include "convert/run_tally.h"
#include "export/export_kinds.h"
#include "platform/display_name.h"
#include "platform/file_io.h"
#include "platform/output_file.h"

namespace qf {
namespace {

// The dry run's list: each data file, each frame's output or why it gets none.
void PrintPlan(const BatchReport& report, std::ostream& out) {
    for (const FileRecord& file : report.files) {
        out << DisplayName(file.path) << ": " << file.framesPlanned << (file.framesPlanned == 1 ? " frame" : " frames")
            << "\n";
        for (const PlannedLine& line : file.plan) {
            if (line.pages > 0) out << "  stack of " << line.pages << (line.pages == 1 ? " page" : " pages");
            else out << "  frame " << line.frame;
            if (line.refusal.empty()) out << " -> " << DisplayName(line.output) << "\n";
            else out << ": " << line.refusal << "\n";
        }
    }
}

// A run whose every failure is a file the control would not load, none named "*.orx", met
// sidecar files such as scan1.orx.json: one line says how to pass them over.
void HintAtSidecars(const std::vector<InputReport>& reports, const ConvertOptions& o, std::ostream& err) {
    if (o.onlyOrx) return;
    std::size_t count = 0;
    std::string example;
    for (const InputReport& input : reports) {
        for (const BatchFailure& failure : input.report.failures) {
            if (failure.kind != FailureKind::kNotLoaded || !NamedLikeASidecar(failure.path)) return;
            ++count;
            if (example.empty()) example = failure.path.substr(LastSeparator(failure.path) + 1);
        }
    }
    if (count == 0) return;
    err << "quillfen-cli: note: " << SidecarNote(count, example) << "\n";
}

// "K/N" with 1 <= K <= N: whole numbers in range only, so that a value past int never
// wraps round into one.
std::optional<std::pair<int, int>> ParseShard(const std::string& text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return std::nullopt;
    int k = 0, n = 0;
    const char* end = text.data() + text.size();
    const auto [kEnd, kErr] = std::from_chars(text.data(), text.data() + slash, k);
    const auto [nEnd, nErr] = std::from_chars(text.data() + slash + 1, end, n);
    if (kErr != std::errc() || kEnd != text.data() + slash || nErr != std::errc() || nEnd != end) return std::nullopt;
    if (n < 1 || k < 1 || k > n) return std::nullopt;
    return std::make_pair(k, n);
}

// --shard K/N: for N processes over one folder, which a watch has no use for.
void AddShardOption(CLI::App* cmd, ConvertOptions& o) {
    cmd->add_option_function<std::string>(
           "--shard",
           [&o](const std::string& text) {
               const std::optional<std::pair<int, int>> shard = ParseShard(text);
               o.shardIndex = shard->first;
               o.shardCount = shard->second;
           },
           "Convert only part K of N of the data files (dealt round by name order), for N processes on N machines")
        ->type_name("K/N")
        ->check([](const std::string& text) {
            return ParseShard(text) ? std::string() : std::string("a shard is K/N with 1 <= K <= N <= 2147483647, e.g. 2/8");
        });
}

}  // namespace

// After a stop: one line for each data file and input that the run never reached.
void ListUnconverted(const BatchReport& report, const std::vector<std::string>& laterPaths, std::ostream& err) {
    if (!report.stoppedIn.empty()) {
        const auto record = std::find_if(report.files.begin(), report.files.end(),
                                         [&](const FileRecord& f) { return f.path == report.stoppedIn; });
        const bool nothingKept = report.stop == BatchStop::kInterrupted && record != report.files.end() &&
                                 record->written.empty() && record->kept.empty();
        err << "quillfen-cli: " << DisplayName(report.stoppedIn)
            << (nothingKept ? ": not converted (the run stopped inside it)\n"
                            : ": its later frames were not converted (the run stopped)\n");
    }
    for (const std::string& path : report.notConverted) {
        err << "quillfen-cli: " << DisplayName(path) << ": not converted (the run stopped before it)\n";
    }
    for (const std::string& path : laterPaths) {
        err << "quillfen-cli: " << DisplayName(path) << ": not converted (the run stopped before it)\n";
    }
}

std::string PatternText(const RunOptions& options) { return options.pattern ? options.pattern->text() : ""; }

BatchSettings ConvertSettings(const ConvertOptions& o) {
    BatchSettings settings;
    static_cast<RunOptions&>(settings) = o;
    settings.names = std::make_shared<RunNames>();
    settings.stopRequested = [] { return StopSignals::Received() != 0; };
    settings.jobs = o.JobsToRun();
    settings.makeControl = [] { return std::make_unique<CGetdatactrl1>(); };
    return settings;
}

namespace {

bool EndsWithFolded(const std::string& name, const std::string& ending) {
    if (name.size() < ending.size()) return false;
    for (std::size_t i = 0; i < ending.size(); ++i) {
        const char c = name[name.size() - ending.size() + i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != ending[i]) return false;
    }
    return true;
}

// The files named as PATHs, by identity: every one is data, whatever its name.
std::set<std::string> NamedDataFiles(const std::vector<std::string>& paths) {
    std::set<std::string> ids;
    for (const std::string& path : paths) {
        const Result<FileFacts> facts = FactsAt(kWorkingFolder, path, true);
        if (facts.ok() && facts.value().type != FileType::kFolder) ids.insert(facts.value().identity);
    }
    return ids;
}

}  // namespace

// Why the report may not have its name ("" when it may): it never takes the place of a data
// file, of an image of the run, or of a name the sweep takes for a temporary of ours.
std::string ReportNameProblem(const std::string& report, const std::set<std::string>& dataIds) {
    if (report.empty() || report == "-") return "";
    const std::string name = report.substr(LastSeparator(report) + 1);
    if (IsTemporaryName(name)) return "the report may not have the name of a temporary file of ours";
    for (const char* image : {".tif", ".tiff", ".bmp"}) {
        if (EndsWithFolded(name, image)) {
            return std::string("the report may not be named like an image (") + image +
                   "): an output of the run could have that name";
        }
    }
    const Result<FileFacts> there = FactsAt(kWorkingFolder, report, true);
    if (there.ok() && dataIds.contains(there.value().identity)) {
        return "the report would replace the data file " + DisplayName(report);
    }
    return "";
}

CLI::App* AddConvertCommand(CLI::App& app, ConvertOptions& o) {
    auto* cmd = app.add_subcommand("convert", "Convert every .orx file of each FOLDER (or each FILE), one image per frame");
    AddConvertOptions(cmd, o, false);
    cmd->add_option("PATH", o.paths, "Folders (or single data files) to convert")->required();
    return cmd;
}

void AddConvertOptions(CLI::App* cmd, ConvertOptions& o, bool watch) {
    cmd->add_option("-k,--kind", o.plannedKind, "Output kind: " + KindNameList())
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
    cmd->add_option_function<int>(
           "--settle-ms", [&o](int ms) { o.settle = std::chrono::milliseconds(ms); },
                    "Pause after each load and each frame step, in ms, for acquisition controls that need "
                    "time to settle (default: what the control asks for; 0 for ORX files)")
        ->check(CLI::Range(0, 60000));
    cmd->add_flag("-q,--quiet", o.quiet, "Show failures only");
    cmd->add_flag("--sync", o.sync,
                  "Flush each output to the disk before it replaces its name, so that a power "
                  "loss cannot leave an empty image where a good one was (slower)");
    if (!watch) {
        cmd->add_flag("-n,--dry-run", o.dryRun, "Print the plan (every output, every frame that would not be written "
                                             "and why) and write nothing");
    }
    cmd->add_option("-o,--output-dir", o.outputDir, "Write the outputs into DIR (created if missing), not beside the data")
        ->type_name("DIR");
    cmd->add_option_function<std::string>(
           "--name-pattern",
           [&o](const std::string& text) {
               o.pattern = std::make_shared<const NamePattern>(NamePattern::Parse(text).value());
           },
           "Name outputs by pattern, e.g. {stem}_{frame:04}; placeholders {stem} {dir} {frame} "
           "{frame:N} {kind}; the kind's extension follows")
        ->type_name("PATTERN")
        ->check([](const std::string& text) {
            Result<NamePattern> pattern = NamePattern::Parse(text);
            return pattern.ok() ? std::string() : pattern.message();
        });
    cmd->add_flag("--no-clobber", o.noClobber, "Keep existing outputs (reported as kept) instead of replacing them");
    cmd->add_flag("-r,--recursive", o.recursive, "Convert subfolders too (files first, then folders, in name order; "
                                              "linked folders are not followed)");
    cmd->add_flag("--salvage", o.salvage,
                  "Convert the complete frames of a data file cut off inside a frame (an aborted "
                  "acquisition); the frames missing are reported as one failure of the file");
    cmd->add_option("--report", o.report,
                    watch ? "Write one JSON line for each data file when it is done to FILE (- for standard output)"
                          : "Write a JSON report of the run to FILE (- for standard output)")
        ->type_name("FILE")
        ->check([](const std::string& path) {
            // A report never takes the place of a data file, just as an image never does.
            const std::string name = path.substr(LastSeparator(path) + 1);
            return FindDataExtension(name) == std::string::npos ? std::string()
                                                          : std::string("a report may not be named like a data file (.orx)");
        });
    if (!watch) AddShardOption(cmd, o);
    cmd->add_option("-j,--jobs", o.jobs,
                    "Convert N frames at once, each on its own core (default: the number of cores "
                    "this process may run on); the outputs, messages and exit status are those of --jobs 1")
        ->type_name("N")
        ->check(CLI::Range(1, 1024));
    cmd->add_option_function<std::string>(
           "--frames",
           [&o](const std::string& text) {
               o.frames = FrameSelection::Parse(text).value();
           },
           "Convert only these frames of each data file, e.g. 0-9,20,30- (the names of the others stay free)")
        ->type_name("LIST")
        ->check([](const std::string& text) {
            Result<FrameSelection> frames = FrameSelection::Parse(text);
            return frames.ok() ? std::string() : frames.message();
        });
    cmd->add_option("--exclude", o.exclude, "Pass over entries whose names match GLOB (* ? [...]), files and "
                                            "folders alike; may be given again")
        ->type_name("GLOB")
        ->allow_extra_args(false);
    cmd->add_flag("--mirror", o.mirror, "With --recursive and --output-dir: write each subfolder's outputs into the "
                                        "same subfolder of DIR (made as needed), so that names repeated across "
                                        "folders do not collide");
    cmd->add_flag("--only-orx", o.onlyOrx, "Take as data files only the names that end in .orx (not scan.orx.json)");
    cmd->add_option("--input-bits", o.inputBits,
                    "The bits the camera's intensities use, 8 to 16 (default 16): the bitmap kinds scale them "
                    "to full brightness (a 12-bit peak is white); the TIFF kinds keep them unchanged")
        ->type_name("N")
        ->check(CLI::Range(8, 16));
    AddOutputOptions(cmd, o);
}

int RunConvert(const ConvertOptions& o, std::ostream& out, std::ostream& err, const CliHooks* hooks) {
    const auto salvaged = std::make_shared<SalvageLog>();
    const std::unique_ptr<CGetdatactrl1> owned = MakeOrxControl(o.salvage, salvaged);
    CGetdatactrl1& control = *owned;
    control.StartDriver();
    StopSignals signals;
    HookedPrinter printer(err, StandardErrorIsTerminal(), o.quiet, hooks);
    BatchSettings settings = ConvertSettings(o);
    settings.names->dataIds = NamedDataFiles(o.paths);
    if (std::string problem = ReportNameProblem(o.report, settings.names->dataIds); !problem.empty()) {
        err << "quillfen-cli: --report: " << problem << " (--help tells more)\n";
        return kExitUsage;
    }
    if (o.salvage) settings.makeControl = [salvaged] { return MakeOrxControl(true, salvaged); };
    std::vector<BatchReport> done = RunBatches(control, o.paths, [&] { return o.plannedKind; }, settings, printer);
    printer.Finish();
    std::ostream& planOut = o.report == "-" ? err : out;
    int status = kExitOk;
    double seconds = 0;
    for (BatchReport& report : done) {
        if (o.salvage) ReportCutOffFiles(report, *salvaged, printer);
        printer.Finish();
        if (o.dryRun) PrintPlan(report, planOut);
        seconds += report.seconds;
        status = std::max(status, ExitStatusFor(report));
        if (report.stop == BatchStop::kInterrupted) status = 128 + StopSignals::Received();
    }
    // Inputs a stop while planning never reached.
    const std::vector<std::string> later(o.paths.begin() + static_cast<std::ptrdiff_t>(done.size()), o.paths.end());
    if (!o.quiet) PrintSummary(o.paths, o, done, err);
    const BatchReport all = CombinedReport(done);
    // A selection that selects no frame of any data file did nothing that was asked for:
    // the notes said why for each file.
    if (!o.frames.all() && !all.files.empty() && all.framesPlanned == 0 && all.stop == BatchStop::kNone) {
        status = std::max(status, kExitFailures);
    }
    // Advice, so --quiet leaves it out with the summary it follows.
    if (!o.quiet) PrintHint(all, HintContext{PatternText(o), o.salvage, o.recursive}, err);
    if (all.stop != BatchStop::kNone && all.stop != BatchStop::kFolderUnreadable) {
        for (const BatchReport& report : done) ListUnconverted(report, {}, err);
        ListUnconverted(BatchReport{}, later, err);
    }
    std::vector<InputReport> reports;
    for (std::size_t i = 0; i < done.size(); ++i) {
        reports.push_back(InputReport{o.paths[i], std::move(done[i]), i + 1 == done.size() ? later : std::vector<std::string>{}});
    }
    if (!o.report.empty()) status = WriteReport(o.report, o.sync, ReportJson(reports, o, status, seconds), status, out, err);
    HintAtSidecars(reports, o, err);
    return status;
}

}  // namespace qf
