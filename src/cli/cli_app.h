// quillfen-cli: convert, info and synth, with the exit statuses scripts rely on.
#pragma once

#include <ostream>

namespace qf {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailures = 1;     ///< some files or frames failed
inline constexpr int kExitUsage = 2;        ///< bad arguments, or a folder that cannot be read
inline constexpr int kExitTiffStopped = 42; ///< a TIFF output could not be created; run stopped

/// Runs the command line; returns the process exit status.
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace qf
