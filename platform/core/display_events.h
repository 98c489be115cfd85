// What a display reports back to the window core, on the window's own thread. Input becomes
// queued messages (retrieved by GetMessageW like any other); nothing here calls a window
// procedure except HitTest.
#pragma once

#include "platform/win32_window.h"

namespace platform {

// WM_NCHITTEST for a point in screen coordinates.
LRESULT HitTest(HWND hwnd, POINT screen);
// Whether the window (and the top-level window it belongs to) takes mouse and key input now.
bool AcceptsInput(HWND hwnd);
// The window that takes input in place of a disabled window, as Windows activates a modal
// popup when its disabled owner is clicked: the newest visible, enabled window the disabled
// window owns (directly or through other owned windows). Null when there is none.
HWND PopupTakingInputFor(HWND hwnd);
// Raises and activates the native window, without any message to the window.
void RaiseNativeWindow(HWND hwnd);
// Queues a mouse message at a point in `hwnd`'s client coordinates. A window holding the
// capture of the thread receives it instead; a disabled window receives nothing. Consecutive
// moves are merged. False when dropped.
bool QueueMouseInput(HWND hwnd, UINT message, WPARAM keys, POINT client);
// Queues a key or character message for the focused window inside `hwnd`, or `hwnd` itself;
// `modifiers` are the kKeyModifier* bits held with it (GetKeyState reads them).
bool QueueKeyInput(HWND hwnd, UINT message, WPARAM key, LPARAM flags, DWORD modifiers = 0);
// The window system asks the window to close: WM_CLOSE is queued unless the window is disabled.
bool QueueCloseRequest(HWND hwnd);
// The window system moved or resized the window; `frame` is its client area on screen.
void NoteNativeFrame(HWND hwnd, const RECT& frame);
void NoteNativeMinimized(HWND hwnd, bool minimized);
void NoteNativeActivation(HWND hwnd, bool active);
// The native window lost its image (exposed, resized): the window paints again.
void NoteNativeExposed(HWND hwnd);

} // namespace platform
