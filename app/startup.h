// The program's start: the skinned main window, run modally until the program ends.
#pragma once

#include "platform/win32.h"

// Registers the embedded skin, prepares the GUI library (instance, resource path), builds the
// main window ("DuiWnd", WS_OVERLAPPEDWINDOW | WS_VISIBLE), gives it icon 101, centres it and
// runs it modally. Brings the UI up itself when the caller has not. Returns 0 in every case.
int RunInstaller(HINSTANCE instance);
