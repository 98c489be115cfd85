#include "platform/stop_signals.h"

#include "platform/system/file_descriptor.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
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

// The first stop signal runs the handler; later ones only keep the process from ending.
void Arrived(int signalNumber)
{
    if (g_stopSignal.exchange(signalNumber) != 0)
        return;
    std::function<void()> handler;
    {
        const std::lock_guard lock(g_handlerMutex);
        handler = g_handler;
    }
    if (handler)
        handler();
}

// The catcher's thread: waits for a blocked stop signal or for its own stop, whichever comes
// first; a stop request writes to `wake`.
void TakeSignals(const sigset_t& set, const std::stop_token& stop)
{
    const FileDescriptor signals(::signalfd(-1, &set, SFD_CLOEXEC));
    const StopWake wake(stop);
    while (!stop.stop_requested()) {
        pollfd fds[2] = {{signals.get(), POLLIN, 0}, {wake.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) <= 0 || (fds[0].revents & POLLIN) == 0)
            continue;
        signalfd_siginfo info{};
        if (::read(signals.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            Arrived(static_cast<int>(info.ssi_signo));
    }
}

} // namespace

StopSignalCatcher::StopSignalCatcher()
{
    // Blocked in this thread and so in every thread started from here on: no file call of a
    // worker is cut short by the signal (a write to a slow stick, the removal of a file that
    // cannot be finished). The catcher's thread takes them from a signalfd instead.
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_thread = std::jthread([set](std::stop_token stop) { TakeSignals(set, stop); });
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
