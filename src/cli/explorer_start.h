// quillfen-cli started from the file manager: double-clicked, or with folders or data files
// dropped on its icon. Its console is then its own, closes as soon as it ends, and nobody
// typed a command: the paths given are converted with the defaults, no argument says how
// the program is used, and the window stays until a key is pressed.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qf {

struct ExplorerStart {
    std::vector<std::string> args;  ///< the command line to run (argv, the program first)
    std::string say;                ///< what to print first, "" for nothing
};

/// What quillfen-cli, whose console is its own, runs for `args` (argv as given): paths alone
/// (each an existing folder or file, as `exists` says) become `convert PATH...`; the program
/// alone runs nothing and says how it is used; anything else, a command as typed, runs as it is.
ExplorerStart StartedFromExplorer(const std::vector<std::string>& args,
                                  const std::function<bool(const std::string&)>& exists);

/// The last line before the window closes.
inline constexpr char kPressAKeyToClose[] = "Press any key to close this window.";

}  // namespace qf
