#include "cli/stop_signals.h"

#include <atomic>

#include "platform/file_io.h"

namespace qf {
namespace {

// Lock-free, so safe from a signal handler and from the console's own thread alike.
std::atomic<int> g_received{0};

void OnStop(int signal) {
    // Asked twice: the user means it. Default handling ends the process.
    if (g_received == signal) {
        EndBySignal(signal);
        return;
    }
    g_received = signal;
}

}  // namespace

StopSignals::StopSignals() {
    g_received = 0;
    WatchStopSignals(OnStop);
}

StopSignals::~StopSignals() { UnwatchStopSignals(); }

int StopSignals::Received() { return g_received; }

}  // namespace qf
