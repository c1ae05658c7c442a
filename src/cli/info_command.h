// `quillfen-cli info`: what the control sees in each data file (its header, how many
// frames are complete) and, with --stats, each frame's minimum, maximum and mean and the
// bits its samples use.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace qf {

struct InfoOptions {
    bool stats = false;
    bool recursive = false;  ///< a folder's subfolders too, as convert --recursive walks them
    bool onlyOrx = false;    ///< data files only by names ending in .orx
    std::vector<std::string> paths;  ///< data files, or folders (each data file in them)
};

/// Adds `info` and its options to `app`; the options land in `options`.
CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& options);

/// Shows each file; returns the exit status (1 when any could not be shown whole).
int RunInfo(const InfoOptions& options, std::ostream& out, std::ostream& err);

}  // namespace qf
