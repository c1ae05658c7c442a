#include "cli/run_end.h"

#include <algorithm>
#include <chrono>

#include "cli/cli_app.h"
#include "cli/progress_printer.h"
#include "cli/stop_signals.h"
#include "control/orx_control.h"
#include "convert/cut_off_files.h"
#include "convert/run_tally.h"
#include "platform/display_name.h"
#include "platform/file_io.h"
#include "platform/output_file.h"

namespace qf {
namespace {

// How long a report into a FIFO waits for a program to read it.
constexpr std::chrono::seconds kReportWait{30};

// The pattern that gives every frame of every data file a name of its own.
constexpr const char* kOwnNamePattern = "{stem}_{frame:04}";

std::string Count(long n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }


}  // namespace

int ExitStatusFor(const BatchReport& report) {
    switch (report.stop) {
        case BatchStop::kTiffCannotCreate: return kExitTiffStopped;
        case BatchStop::kFolderUnreadable: return kExitUsage;
        default: return report.clean() ? kExitOk : kExitFailures;
    }
}

void PrintSummary(const std::vector<std::string>& paths, const RunOptions& options, const std::vector<BatchReport>& done,
                  std::ostream& err) {
    const std::string& outputDir = options.outputDir;
    for (std::size_t i = 0; i < done.size(); ++i) {
        SummaryContext context{paths[i], outputDir, 0};
        // A folder without data files may hold them deeper: a forgotten --recursive.
        if (FoundNoDataFiles(done[i]) && !options.recursive) {
            context.inSubfolders = DataFilesInSubfolders(paths[i], options.onlyOrx);
        }
        if (paths.size() == 1 || FoundNoDataFiles(done[i])) err << "quillfen-cli: " << SummaryLine(done[i], context) << "\n";
    }
    if (paths.size() < 2) return;
    const SummaryContext context{std::to_string(paths.size()) + " inputs", outputDir, 0};
    err << "quillfen-cli: " << context.input << ": " << Summary(CombinedReport(done), context) << "\n";
}

bool NamedLikeASidecar(const std::string& path) {
    const std::string name = path.substr(LastSeparator(path) + 1);
    const std::size_t orx = FindDataExtension(name);
    return orx != std::string::npos && orx + 4 != name.size();
}

std::string SidecarNote(std::size_t count, const std::string& example) {
    return (count == 1 ? "1 file named like a data file" : std::to_string(count) + " files named like data files") +
           " but not ending in .orx (" + DisplayName(example) + (count == 1 ? "" : ", ...") +
           ") could not be loaded; --only-orx or --exclude passes such files over";
}

std::string RunHint(const BatchReport& all, const HintContext& context) {
    long takenHere = 0, takenElsewhere = 0;
    for (const BatchFailure& failure : all.failures) {
        if (failure.kind == FailureKind::kNameTaken) ++(failure.takenFromElsewhere ? takenElsewhere : takenHere);
    }
    const Salvageable cut = context.salvage ? Salvageable{} : SalvageableIn(all);
    const long cutFiles = cut.files, cutFrames = cut.frames;
    if (context.namePattern == kOwnNamePattern) takenHere = 0;
    // Folders named side by side collide in the output folder too, and --mirror would not
    // part them: no advice is better than the wrong one.
    if (!context.recursive) takenElsewhere = 0;
    const long best = std::max({takenHere, takenElsewhere, cutFrames});
    if (best == 0) return "";
    if (cutFrames == best) {
        return Count(cutFiles, "data file ends", "data files end") +
               " inside a frame (cut off); --salvage converts the complete frames";
    }
    if (takenElsewhere == best) {
        return Count(takenElsewhere, "frame was not written because a data file of another folder had its name",
                     "frames were not written because data files of other folders had their names") +
               "; --mirror writes each subfolder's outputs into the same subfolder of the output folder";
    }
    return Count(takenHere, "frame was not written because its name was taken",
                 "frames were not written because their names were taken") +
           "; --name-pattern '" + kOwnNamePattern + "' gives every frame a name of its own";
}

void PrintHint(const BatchReport& all, const HintContext& context, std::ostream& err) {
    if (const std::string hint = RunHint(all, context); !hint.empty()) err << "quillfen-cli: hint: " << hint << "\n";
}

int WriteReport(const std::string& report, bool sync, const std::string& json, int status, std::ostream& out,
                std::ostream& err) {
    if (report == "-") {
        // The report's lines end in LF on every system, as in a report file: no CR added.
        out.flush();
        const bool wasBinary = SetStandardOutputBinary(true);
        out << json;
        out.flush();
        SetStandardOutputBinary(wasBinary);
        return status;
    }
    // A FIFO, a terminal or a device (/dev/stdout, a process substitution) takes the report
    // as it comes; only a regular file, or none, is replaced whole.
    if (const Result<FileFacts> there = FactsAt(kWorkingFolder, report, true);
        there.ok() && there.value().type == FileType::kOther) {
        // A FIFO nobody reads is waited for a while, and a signal ends the wait at once.
        const int before = StopSignals::Received();
        Result<int> stream = OpenStreamToWrite(report, kReportWait, [before] { return StopSignals::Received() != before; });
        Status written = stream.ok() ? WriteStream(stream.value(), json.data(), json.size()) : Status(stream.error());
        if (stream.ok()) {
            const Status closed = CloseChecked(stream.value());
            if (written.ok()) written = closed;
        }
        if (!written.ok()) {
            err << "quillfen-cli: " << DisplayName(report) << ": cannot write the report: " << written.message() << "\n";
            return std::max(status, kExitFailures);
        }
        return status;
    }
    // Written like an output: complete or not at all, and never half over an older report;
    // with --sync it reaches the disk before it takes the name, as the images do.
    OutputTarget target(report);
    target.sync = sync;
    OutputFile file(std::move(target));
    file.Write(json.data(), json.size());
    if (Status written = file.Commit(); !written.ok()) {
        err << "quillfen-cli: " << DisplayName(report) << ": cannot write the report: " << written.message() << "\n";
        return std::max(status, kExitFailures);
    }
    return status;
}

}  // namespace qf
