// Ending the program while an installation runs.
#pragma once

#include <chrono>

// Asks every install worker still running to stop (the transfer is cancelled, the extraction
// stops between two blocks, the worker's pauses end at once), and waits until they have ended
// or `wait` has passed. A stopped worker posts nothing more to any window and shows nothing.
// Returns true when no worker is running any more.
//
// The program calls it once its message loop has ended, before the UI session ends and main
// returns. Call it on the UI thread or any other; it never needs the UI thread to answer.
bool StopInstallWorker(std::chrono::milliseconds wait);
