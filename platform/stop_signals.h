// A program that ends on its own terms when asked to stop from the terminal or by the system
// (Ctrl-C, SIGTERM), and whether its standard output is a terminal.
#pragma once

namespace platform {

// From the call on, SIGINT and SIGTERM no longer end the process: they are blocked in the
// calling thread (and so in every thread it starts afterwards) and a thread of their own
// remembers them for StopRequestedBySignal. Call once, before any other thread is started.
void CatchStopSignals();
// Whether SIGINT or SIGTERM arrived since CatchStopSignals. Any thread.
bool StopRequestedBySignal();

// Whether standard output is a terminal (not a file, a pipe or nothing).
bool StandardOutputIsTerminal();

} // namespace platform
