#include "cli/stop_signals.h"

#include <signal.h>

#include <csignal>

namespace qf {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t g_received = 0;
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

int StopSignals::Received() { return g_received; }

}  // namespace qf
