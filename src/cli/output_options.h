// The options of `convert` that choose how outputs are laid out (--layout, --compress,
// --level, --pixel-size), and the checks of how they combine with each other and with the kind.
#pragma once

#include <string>

#include "convert/run_options.h"

namespace CLI {
class App;
}

namespace qf {

/// Adds the layout options to `cmd`; the choices land in `options.exportOptions`. After
/// parsing, options that cannot be run together (Validate) are a usage error that says why.
void AddOutputOptions(CLI::App* cmd, RunOptions& options);

}  // namespace qf
