// `quillfen-cli convert`: its options, the run over each PATH, and what it prints.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "export/export_options.h"
#include "export/frame_image.h"

namespace CLI {
class App;
}

namespace qf {

struct ConvertOptions {
    int kind = kNormalizedTiff;
    int settleMs = -1;  ///< -1: the control's own
    bool quiet = false;
    bool sync = false;
    bool dryRun = false;
    bool noClobber = false;
    bool recursive = false;
    bool salvage = false;  ///< convert the complete frames of files cut off inside a frame
    std::string outputDir;
    std::string namePattern;
    std::string report;  ///< JSON report file, "-" for standard output
    std::string shard;   ///< "K/N"
    int shardIndex = 1, shardCount = 1;
    int jobs = 0;  ///< frames converted at once; 0: one for each online core
    std::string frames;                ///< --frames, "" for all
    std::vector<std::string> exclude;  ///< --exclude globs
    bool onlyOrx = false;
    bool mirror = false;
    int inputBits = 16;  ///< --input-bits: the bits the camera's intensities use
    ExportOptions exportOptions;  ///< --layout, --compress, --pixel-size, --stack, --bigtiff
    std::vector<std::string> paths;
};

/// Adds `convert` and its options to `app`; the options land in `options`.
CLI::App* AddConvertCommand(CLI::App& app, ConvertOptions& options);

/// Runs the conversion; returns the exit status.
int RunConvert(const ConvertOptions& options, std::ostream& out, std::ostream& err, const CliHooks* hooks);

}  // namespace qf
