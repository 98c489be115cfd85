// Activation, keyboard focus and mouse capture, kept per thread as on Windows.
#include "platform/core/display.h"
#include "platform/core/window_core.h"

using namespace platform;

namespace {

struct InputState {
    HWND active = nullptr;
    HWND focus = nullptr;
    HWND capture = nullptr;
};

thread_local InputState input;

bool UsableHere(HWND hwnd)
{
    return WithWindow(hwnd, [](Window& w) { return OwnedByCurrentThread(w) && !w.destroying; }).value_or(false);
}

HWND Alive(HWND hwnd) { return IsWindow(hwnd) ? hwnd : nullptr; }

} // namespace

namespace platform {

void ForgetInputState(HWND hwnd, HWND successor)
{
    if (input.capture == hwnd)
        input.capture = nullptr;
    if (input.focus == hwnd || (input.focus && TopLevelOf(input.focus) == hwnd))
        input.focus = nullptr;
    if (input.active == hwnd)
        input.active = UsableHere(successor) && IsWindowVisible(successor) ? successor : nullptr;
}

} // namespace platform

HWND SetActiveWindow(HWND hwnd)
{
    const HWND previous = Alive(input.active);
    const HWND top = TopLevelOf(hwnd);
    if (!top || !UsableHere(top))
        return nullptr;
    if (top == previous)
        return previous;
    input.active = top;
    if (previous)
        SendMessageW(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(top));
    if (WithWindow(top, [](Window& w) { return w.native && w.Visible(); }).value_or(false))
        CurrentDisplay()->Raise(top, true);
    SendMessageW(top, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
    return previous;
}

HWND GetActiveWindow() { return Alive(input.active); }

HWND SetFocus(HWND hwnd)
{
    const HWND previous = Alive(input.focus);
    if (hwnd && (!UsableHere(hwnd) || !IsWindowEnabled(hwnd)))
        return nullptr;
    if (hwnd == previous)
        return previous;
    input.focus = hwnd;
    if (previous)
        SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd) {
        if (TopLevelOf(hwnd) != input.active)
            SetActiveWindow(hwnd);
        SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

HWND GetFocus() { return Alive(input.focus); }

HWND SetCapture(HWND hwnd)
{
    const HWND previous = Alive(input.capture);
    if (!UsableHere(hwnd))
        return previous;
    input.capture = hwnd;
    return previous;
}

BOOL ReleaseCapture()
{
    input.capture = nullptr;
    return TRUE;
}

HWND GetCapture() { return Alive(input.capture); }

namespace platform {

// The display reports which native window the window system activated.
void NoteNativeActivation(HWND hwnd, bool active)
{
    if (active)
        input.active = hwnd;
    else if (input.active == hwnd)
        input.active = nullptr;
}

} // namespace platform
