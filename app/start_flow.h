// What a click on the start button does: the refusals, the package probe, and the download
// window run modally until the installation ends.
#pragma once

#include "platform/win32_types.h"

class CDuiFrameWnd;
class DownloadWnd;

// UI thread only.
// Set when a click is accepted; reset when the package is missing or the drive check after the
// size probe refuses.
extern bool g_installStarted;
// While the start flow's size probe waits: drive notifications are checked as if nothing had
// started, and the check runs again once the probe returns.
extern bool g_sizeProbeRunning;
extern bool g_drivePulled; // the stick vanished during the installation
extern DownloadWnd* g_downloadWnd; // the download window of this run; never deleted
extern bool g_verifyWrittenFiles; // read the package back after writing; set before the UI starts

void RunStartFlow(CDuiFrameWnd& frame);

// A one-button message (caption "提示") that leaves everything as it was. Unattended, nobody
// can act on it: the run ends as failed.
void Refuse(HWND owner, const wchar_t* text);
