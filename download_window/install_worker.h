// The install worker: network check, work folder, download, extraction, reading the package
// back from the stick, hand-over to the main window. It owns what it works on (its request,
// the extraction, the handle on the stick) and reaches the windows only through its job: the
// progress it publishes there and the messages it posts (WM_INSTALL_FAILED to the download
// window, WM_INSTALL_DONE or WM_INSTALL_STICK_PULLED to the main window).
#pragma once

#include "download_window/install_job.h"
#include "download_window/install_request.h"

#include <chrono>
#include <memory>

// Starts the worker for `request` on a thread of its own. False when no thread could be
// started (the job is then marked ended).
bool StartInstallWorker(InstallRequest request, std::shared_ptr<InstallJob> job);

// Asks every install worker still running to stop (the transfer is cancelled, the extraction
// stops between two blocks, the worker's pauses end at once), and waits until they have ended
// or `wait` has passed. A stopped worker posts nothing more to any window and shows nothing.
// Returns true when no worker is running any more. Call it on the UI thread or any other; it
// never needs the UI thread to answer.
bool StopInstallWorker(std::chrono::milliseconds wait);

// The same, waiting as long as it takes: what the program does before it returns from main,
// so that no worker outlives what it uses.
void StopInstallWorkerAndWait();
