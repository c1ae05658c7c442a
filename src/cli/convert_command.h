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

/// The run's options (RunOptions: the same struct the dialog fills) and what only the
/// command line has.
struct ConvertOptions : RunOptions {
    ConvertOptions() { jobs = 0; }
    int kind = kNormalizedTiff;
    int settleMs = -1;  ///< -1: the control's own
    bool quiet = false;
    bool salvage = false;  ///< convert the complete frames of files cut off inside a frame
    std::string namePattern;
    std::string framesText;  ///< --frames as given, for the report
    std::string report;  ///< JSON report file, "-" for standard output
    // jobs: frames converted at once; 0 (the default here): one for each core this process may run on
    std::vector<std::string> paths;
};

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
