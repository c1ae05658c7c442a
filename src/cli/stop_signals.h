// Ctrl-C, SIGTERM and SIGHUP during a conversion: the run finishes the output it is
// writing, reports what it did and what it left, and the process exits 128 + signal.
#pragma once

namespace qf {

/// Catches SIGINT, SIGTERM and SIGHUP while it lives; restores the earlier handling when
/// it goes. A second signal of the same kind ends the process at once, as without us.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /// The signal that asked for the stop, or 0.
    static int Received();
};

}  // namespace qf
