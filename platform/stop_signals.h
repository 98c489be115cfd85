// A program that ends on its own terms when asked to stop from the terminal or by the system
// (Ctrl-C, SIGTERM, a closed terminal's SIGHUP), and whether its standard output is a terminal.
#pragma once

#include <functional>

namespace platform {

// From the call on, SIGINT, SIGTERM and SIGHUP no longer end the process: they are blocked in
// the calling thread (and so in every thread it starts afterwards) and a thread of their own
// remembers them for StopRequestedBySignal. Call once, before any other thread is started.
void CatchStopSignals();
// Whether one of them arrived since CatchStopSignals. Any thread.
bool StopRequestedBySignal();
// `onStop` runs on the signals' own thread when the first of them arrives (at once when one
// already has). It must not wait for the thread that set it.
void SetStopSignalHandler(std::function<void()> onStop);

// Whether standard output is a terminal (not a file, a pipe or nothing).
bool StandardOutputIsTerminal();

} // namespace platform
