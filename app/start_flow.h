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
extern bool g_drivePulled; // the stick vanished during the installation
extern DownloadWnd* g_downloadWnd; // the download window of this run; never deleted

void RunStartFlow(CDuiFrameWnd& frame);

// A one-button message (caption "提示") that leaves everything as it was. Unattended, nobody
// can act on it: the run ends as failed.
void Refuse(CDuiFrameWnd& frame, HWND owner, const wchar_t* text);
