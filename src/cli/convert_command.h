// `quillfen-cli convert`: its options, the run over each PATH, and what it prints.
#pragma once

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "convert/batch_run.h"
#include "convert/run_options.h"
#include "export/export_options.h"
#include "export/frame_image.h"

namespace CLI {
class App;
}

namespace qf {

/// The run's options (RunOptions: the same value the dialogs edit, which the options bind
/// to) and what only the command line has.
struct ConvertOptions : RunOptions {
    ConvertOptions() {
        plannedKind = kNormalizedTiff;
        kindMayChange = false;  // one kind for the whole run: workers may run ahead into the next file
        jobs = 0;               // one for each core this process may run on
    }
    bool quiet = false;
    std::string report;  ///< JSON report file, "-" for standard output
    std::vector<std::string> paths;
};

/// --name-pattern as given, "" for none.
std::string PatternText(const RunOptions& options);

/// Adds `convert` and its options to `app`; the options land in `options`.
CLI::App* AddConvertCommand(CLI::App& app, ConvertOptions& options);

/// Adds convert's options but PATH to `cmd`; `watch` leaves out those a watch has no use
/// for (--dry-run, --shard) and words --report for its lines.
void AddConvertOptions(CLI::App* cmd, ConvertOptions& options, bool watch);

/// The run's settings for `options`, with one name registry for the whole run and stops
/// asked of StopSignals.
BatchSettings ConvertSettings(const ConvertOptions& options);

/// After a stop: one line for the data file the run stopped in and for each it never
/// reached, those of `report` and `laterPaths`.
void ListUnconverted(const BatchReport& report, const std::vector<std::string>& laterPaths, std::ostream& err);

/// Why --report may not be `report` ("" when it may): never a data file (by the identities
/// `dataIds`), an image name or a temporary file's name.
std::string ReportNameProblem(const std::string& report, const std::set<std::string>& dataIds);

/// Runs the conversion; returns the exit status.
int RunConvert(const ConvertOptions& options, std::ostream& out, std::ostream& err, const CliHooks* hooks);

}  // namespace qf
