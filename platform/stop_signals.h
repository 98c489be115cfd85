// A program that ends on its own terms when asked to stop from the terminal or by the system
// (Ctrl-C, SIGTERM, a closed terminal's SIGHUP), and whether its standard output is a terminal.
#pragma once

#include <functional>
#include <thread>

namespace platform {

// From its construction on, SIGINT, SIGTERM and SIGHUP no longer end the process: they are
// blocked in the calling thread (and so in every thread it starts afterwards) and a thread the
// object owns takes them, remembers them for StopRequestedBySignal and runs the handler. Make
// one before any other thread is started and keep it for the rest of the run; its end stops
// and joins that thread (the signals stay blocked).
class StopSignalCatcher {
public:
    StopSignalCatcher();
    StopSignalCatcher(const StopSignalCatcher&) = delete;
    StopSignalCatcher& operator=(const StopSignalCatcher&) = delete;

private:
    std::jthread m_thread;
};

// Whether one of them arrived since a StopSignalCatcher was made. Any thread.
bool StopRequestedBySignal();
// `onStop` runs on the catcher's thread when the first of them arrives (at once, on the calling
// thread, when one already has). It must not wait for the thread that set it.
void SetStopSignalHandler(std::function<void()> onStop);

// Whether standard output is a terminal (not a file, a pipe or nothing).
bool StandardOutputIsTerminal();

} // namespace platform
