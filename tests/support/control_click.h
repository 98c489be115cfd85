// Clicking a skinned window's controls as a user does: the mouse messages at a control's centre.
#pragma once

#include "dui/dui.h"

// The centre of the named control in client coordinates (a test failure when it is missing).
POINT CentreOf(WindowImplBase& window, LPCTSTR name);
// Posts a mouse move, button down and button up at `pt`.
void PostClick(HWND hwnd, POINT pt);
// PostClick at the centre of the named control.
void PostClickOn(WindowImplBase& window, LPCTSTR name);
