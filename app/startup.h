// The program's start: the skinned main window, run modally until the program ends.
#pragma once

#include "app/run_outcome.h"
#include "platform/win32.h"
#include "session/run_options.h"

// Registers the embedded skin, prepares the GUI library (instance, resource path), builds the
// main window ("DuiWnd", WS_OVERLAPPEDWINDOW | WS_VISIBLE) for a run going as `options` say,
// gives it icon 101, centres it and runs it modally. Brings the UI up itself when the caller
// has not. Returns how the run ended.
RunOutcome RunInstaller(HINSTANCE instance, const RunOptions& options);

// Tells the user that another installer is at work on these drives ("课件安装工具已在运行。",
// kind 2, caption 提示) with nothing else on the screen. Brings the UI up itself when the caller
// has not. `unattended`: the message answers itself.
void ShowAlreadyRunning(HINSTANCE instance, bool unattended);

// Tells the user that the rights to install could not be had (text::kNoAdministratorRights, kind 2,
// caption 提示) with nothing else on the screen. Brings the UI up itself when the caller has not.
// `unattended`: the message answers itself.
void ShowNoAdministratorRights(HINSTANCE instance, bool unattended);
