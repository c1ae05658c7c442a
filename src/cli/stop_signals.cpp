#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#ifdef _WIN32
#include "platform/file_io.h"
#else
#include <signal.h>
#endif

namespace qf {
namespace {

// Lock-free, so safe from a signal handler and from the console's own thread alike.
std::atomic<int> g_received{0};

#ifdef _WIN32

void OnConsoleStop(int signal) {
    // Asked twice: the user means it, and the process ends as it would without us.
    if (g_received.exchange(signal) == signal) std::_Exit(128 + signal);
}

}  // namespace

StopSignals::StopSignals() {
    g_received = 0;
    WatchConsoleStops(OnConsoleStop);
}

StopSignals::~StopSignals() {
    FinishedAfterStop();
    UnwatchConsoleStops();
}

#else

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];

extern "C" void OnStopSignal(int signal) {
    if (g_received == signal) {
        // Asked twice: the user means it. Default handling ends the process.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    g_received = signal;
}

}  // namespace

StopSignals::StopSignals() {
    g_received = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

#endif

int StopSignals::Received() { return g_received; }

}  // namespace qf
