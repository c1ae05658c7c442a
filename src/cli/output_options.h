// The options of `convert` that choose how outputs are laid out (--layout, --compress,
// --level, --pixel-size), and the checks of how they combine with each other and with the kind.
#pragma once

#include <string>

#include "export/export_options.h"

namespace CLI {
class App;
}

namespace qf {

/// Adds the layout options to `cmd`; the choices land in `options`. After parsing, a
/// combination that cannot be written is a usage error that says why; `kind` is read
/// then (the --kind option's value).
void AddOutputOptions(CLI::App* cmd, ExportOptions& options, const int& kind);

/// Why `options` cannot be written for `kind`, or "" when they can. `levelGiven`: --level
/// was typed (so 0 is no level, not the default).
std::string OutputOptionsProblem(const ExportOptions& options, int kind, bool pixelSizeGiven, bool levelGiven = false);

}  // namespace qf
