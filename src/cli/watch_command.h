// `quillfen-cli watch`: converts each data file of the watched folders as soon as the
// camera has finished writing it, with convert's options and convert's run.
#pragma once

#include <ostream>

#include "cli/convert_command.h"
#include "convert/folder_watch.h"

namespace CLI {
class App;
}

namespace qf {

struct WatchOptions : ConvertOptions {
    double pollSeconds = 1;
    double settleSeconds = 2;
    double giveUpSeconds = 600;
    bool once = false;  ///< one look: convert what is complete and settled, then end
    bool pollOnly = false;  ///< no change notices: the looks alone find new files
};

/// Adds `watch` and its options to `app`; the options land in `options`.
CLI::App* AddWatchCommand(CLI::App& app, WatchOptions& options);

/// Watches until a stop signal (or, with --once, for one look); returns the exit status.
/// The clock is the hooks' when they have one, else the system's.
int RunWatch(const WatchOptions& options, std::ostream& out, std::ostream& err, const CliHooks* hooks);

}  // namespace qf
