#include "platform/core/display_events.h"
#include "platform/core/display.h"
#include "platform/core/window_core.h"

#include <utility>

namespace platform {
namespace {

bool Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WindowRef window = FindWindowRef(hwnd);
    if (!window)
        return false;
    return window.Queue()->PostInput(MakeMessage(hwnd, message, wParam, lParam));
}

} // namespace

LRESULT HitTest(HWND hwnd, POINT screen)
{
    if (!IsWindow(hwnd))
        return HTNOWHERE;
    return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
}

bool AcceptsInput(HWND hwnd)
{
    const HWND top = TopLevelOf(hwnd);
    return top && IsWindowEnabled(hwnd) && IsWindowEnabled(top);
}

HWND PopupTakingInputFor(HWND hwnd)
{
    HWND found = nullptr;
    for (int depth = 0; hwnd && depth < 16; ++depth) {
        const auto owned =
            SelectWindows([&](const Window& w) { return w.owner == hwnd && w.Visible() && !w.destroying; });
        if (owned.empty())
            break;
        const HWND newest = owned.back();
        if (IsWindowEnabled(newest))
            found = newest;
        hwnd = newest;
    }
    return found;
}

void RaiseNativeWindow(HWND hwnd)
{
    if (WithWindow(hwnd, [](Window& w) { return w.native; }).value_or(false))
        CurrentDisplay()->Raise(hwnd, true);
}

bool QueueMouseInput(HWND hwnd, UINT message, WPARAM keys, POINT client)
{
    const HWND capture = GetCapture();
    if (capture && capture != hwnd) {
        ClientToScreen(hwnd, &client);
        ScreenToClient(capture, &client);
        hwnd = capture;
    }
    if (!AcceptsInput(hwnd))
        return false;
    return Post(hwnd, message, keys, MAKELPARAM(client.x, client.y));
}

bool QueueKeyInput(HWND hwnd, UINT message, WPARAM key, LPARAM flags, DWORD modifiers)
{
    const HWND focus = GetFocus();
    if (focus && TopLevelOf(focus) == TopLevelOf(hwnd))
        hwnd = focus;
    if (!AcceptsInput(hwnd))
        return false;
    const WindowRef window = FindWindowRef(hwnd);
    if (!window)
        return false;
    MSG msg = MakeMessage(hwnd, message, key, flags);
    msg.lPrivate = kKeyModifiersKnown | modifiers;
    return window.Queue()->PostInput(msg);
}

bool QueueCloseRequest(HWND hwnd)
{
    if (!AcceptsInput(hwnd))
        return false;
    return Post(hwnd, WM_CLOSE, 0, 0);
}

void NoteNativeFrame(HWND hwnd, const RECT& frame)
{
    const auto resized = WithWindow(hwnd, [&](Window& w) {
        const bool sized = (frame.right - frame.left) != w.Width() || (frame.bottom - frame.top) != w.Height();
        w.frame = frame;
        return sized;
    });
    if (resized && *resized) {
        InvalidateWholeWindow(hwnd);
        Post(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(frame.right - frame.left, frame.bottom - frame.top));
    }
}

void NoteNativeMinimized(HWND hwnd, bool minimized)
{
    const auto changed = WithWindow(hwnd, [&](Window& w) { return std::exchange(w.iconic, minimized) != minimized; });
    if (!changed || !*changed)
        return;
    RECT client;
    GetClientRect(hwnd, &client);
    Post(hwnd, WM_SIZE, minimized ? SIZE_MINIMIZED : SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    if (!minimized)
        InvalidateWholeWindow(hwnd);
}

void NoteNativeExposed(HWND hwnd) { InvalidateWholeWindow(hwnd); }

} // namespace platform
