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

// Ctrl-C and Ctrl-Break come as C signals; the C runtime puts the default handling back
// before it calls us. We take the second one too, to put the console's code page back
// before the default handling ends the process as it would without us.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGBREAK};
void (*g_previous[3])(int);

extern "C" void OnStopSignal(int signal) {
    if (g_received == signal) {
        RestoreConsole();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_received = signal;
    std::signal(signal, OnStopSignal);
}

// A closing console, a log-off or a shutdown: the process ends soon after, whatever we do.
void OnConsoleClose(int signal) { g_received = signal; }

}  // namespace

StopSignals::StopSignals() {
    g_received = 0;
    for (int i = 0; i < 3; ++i) g_previous[i] = std::signal(kSignals[i], OnStopSignal);
    WatchConsoleStops(OnConsoleClose);
}

StopSignals::~StopSignals() {
    FinishedAfterStop();
    UnwatchConsoleStops();
    for (int i = 0; i < 3; ++i) std::signal(kSignals[i], g_previous[i]);
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
