// The program's start: the skinned main window, run modally until the program ends.
#pragma once

#include "platform/win32.h"

// Registers the embedded skin, prepares the GUI library (instance, resource path), builds the
// main window ("DuiWnd", WS_OVERLAPPEDWINDOW | WS_VISIBLE), gives it icon 101, centres it and
// runs it modally. Brings the UI up itself when the caller has not. Returns 0 in every case.
int RunInstaller(HINSTANCE instance);

// Tells the user that another installer is at work on these drives ("课件安装工具已在运行。",
// kind 2, caption 提示) with nothing else on the screen. Brings the UI up itself when the caller
// has not.
void ShowAlreadyRunning(HINSTANCE instance);

// Tells the user that the rights to install could not be had (text::kNoAdministratorRights, kind 2,
// caption 提示) with nothing else on the screen. Brings the UI up itself when the caller has not.
void ShowNoAdministratorRights(HINSTANCE instance);
