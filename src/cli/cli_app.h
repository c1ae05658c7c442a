// quillfen-cli: convert, watch, info and synth, with the exit statuses scripts rely on.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace qf {

class WatchClock;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailures = 1;     ///< some files or frames failed
inline constexpr int kExitUsage = 2;        ///< bad arguments, or a folder that cannot be read
inline constexpr int kExitTiffStopped = 42; ///< a TIFF output could not be created; run stopped

/// What tests may hook into a run.
struct CliHooks {
    /// Called after each output is in place.
    std::function<void(const std::string& output)> frameWritten;
    /// The time `watch` goes by and its pauses (null: the system's).
    WatchClock* watchClock = nullptr;
};

/// Runs the command line; returns the process exit status (128 + signal when a signal
/// stopped the conversion).
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err,
           const CliHooks* hooks = nullptr);

}  // namespace qf
