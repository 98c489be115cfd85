#include "platform/stop_signals.h"

#include <atomic>
#include <csignal>

#include <unistd.h>

namespace platform {

namespace {

// Read by other threads as well: a lock-free atomic is safe in a signal handler.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void RememberStopSignal(int signalNumber) { g_stopSignal.store(signalNumber); }

} // namespace

void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = RememberStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequestedBySignal() { return g_stopSignal.load() != 0; }

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

} // namespace platform
