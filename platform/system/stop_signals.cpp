#include "platform/stop_signals.h"

#include <atomic>
#include <csignal>
#include <functional>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<int> g_stopSignal{0};
std::mutex g_handlerMutex;
std::function<void()> g_handler;

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void CatchStopSignals()
{
    // Blocked in this thread and so in every thread started from here on: no file call of a
    // worker is cut short by the signal (a write to a slow stick, the removal of a file that
    // cannot be finished). One thread of its own waits for them instead.
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
        for (;;) {
            int signalNumber = 0;
            if (sigwait(&set, &signalNumber) != 0 || g_stopSignal.exchange(signalNumber) != 0)
                continue;
            std::function<void()> handler;
            {
                const std::lock_guard lock(g_handlerMutex);
                handler = g_handler;
            }
            if (handler)
                handler();
        }
    }).detach();
}

bool StopRequestedBySignal() { return g_stopSignal.load() != 0; }

void SetStopSignalHandler(std::function<void()> onStop)
{
    {
        const std::lock_guard lock(g_handlerMutex);
        g_handler = onStop;
    }
    if (onStop && StopRequestedBySignal())
        onStop();
}

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

} // namespace platform
