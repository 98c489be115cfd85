// Showing, placing and measuring windows.
#include "platform/core/display.h"
#include "platform/core/window_core.h"

#include <algorithm>

using namespace platform;

namespace {

enum class ShowKind { Hide, Minimize, Restore, Show };

ShowKind KindOf(int command)
{
    switch (command) {
    case SW_HIDE:
        return ShowKind::Hide;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
        return ShowKind::Minimize;
    case SW_SHOWNORMAL:
    case SW_SHOWMAXIMIZED:
    case SW_SHOWNOACTIVATE:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
        return ShowKind::Restore;
    default:
        return ShowKind::Show;
    }
}

bool Activates(int command)
{
    return command != SW_SHOWNOACTIVATE && command != SW_SHOWNA && command != SW_SHOWMINNOACTIVE &&
        command != SW_MINIMIZE && command != SW_FORCEMINIMIZE && command != SW_HIDE;
}

LRESULT ShowOnOwnThread(HWND hwnd, int command)
{
    const ShowKind kind = KindOf(command);
    struct Before {
        bool visible;
        bool iconic;
        bool native;
        bool child;
    };
    const auto before = WithWindow(hwnd, [](Window& w) {
        return Before{w.Visible(), w.iconic, w.native, w.IsChild()};
    });
    if (!before)
        return FALSE;
    const bool show = kind != ShowKind::Hide;
    const bool iconic = kind == ShowKind::Minimize || (kind == ShowKind::Show && before->iconic);
    if (show && !before->visible)
        SendMessageW(hwnd, WM_SHOWWINDOW, TRUE, 0);
    if (!show && before->visible)
        SendMessageW(hwnd, WM_SHOWWINDOW, FALSE, 0);
    WithWindow(hwnd, [&](Window& w) {
        if (show)
            w.style |= WS_VISIBLE;
        else
            w.style &= ~WS_VISIBLE;
        if (show)
            w.iconic = iconic;
        return 0;
    });
    if (before->native) {
        const ShowState state = !show ? ShowState::Hidden : iconic ? ShowState::Minimized : ShowState::Normal;
        CurrentDisplay()->SetShowState(hwnd, state, Activates(command));
    }
    if (show && (!before->visible || before->iconic != iconic)) {
        InvalidateWholeWindow(hwnd);
        RECT client;
        GetClientRect(hwnd, &client);
        if (before->iconic != iconic)
            SendMessageW(
                hwnd, WM_SIZE, iconic ? SIZE_MINIMIZED : SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    }
    if (!show && !before->child)
        ForgetInputState(hwnd, GetWindow(hwnd, GW_OWNER));
    return before->visible ? TRUE : FALSE;
}

LRESULT PositionOnOwnThread(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    struct Change {
        bool moved = false;
        bool sized = false;
        bool native = false;
        RECT frame;
    };
    const auto change = WithWindow(hwnd, [&](Window& w) {
        Change c;
        RECT frame = w.frame;
        if (!(flags & SWP_NOMOVE)) {
            frame.right += x - frame.left;
            frame.bottom += y - frame.top;
            frame.left = x;
            frame.top = y;
        }
        if (!(flags & SWP_NOSIZE)) {
            frame.right = frame.left + std::max(cx, 0);
            frame.bottom = frame.top + std::max(cy, 0);
        }
        c.moved = frame.left != w.frame.left || frame.top != w.frame.top;
        c.sized = (frame.right - frame.left) != w.Width() || (frame.bottom - frame.top) != w.Height();
        c.native = w.native;
        c.frame = frame;
        w.frame = frame;
        if (!(flags & SWP_NOZORDER)) {
            if (insertAfter == HWND_TOPMOST)
                w.exStyle |= WS_EX_TOPMOST;
            else if (insertAfter == HWND_NOTOPMOST)
                w.exStyle &= ~WS_EX_TOPMOST;
        }
        return c;
    });
    if (!change)
        return FALSE;
    const auto display = CurrentDisplay();
    if (change->native && (change->moved || change->sized))
        display->SetFrame(hwnd, change->frame);
    if (change->native && !(flags & SWP_NOZORDER)) {
        if (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)
            display->SetTopmost(hwnd, insertAfter == HWND_TOPMOST);
        if (insertAfter != HWND_BOTTOM && insertAfter != HWND_NOTOPMOST)
            display->Raise(hwnd, !(flags & SWP_NOACTIVATE));
    }
    if (change->sized) {
        InvalidateWholeWindow(hwnd);
        SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED,
            MAKELPARAM(change->frame.right - change->frame.left, change->frame.bottom - change->frame.top));
    }
    if (change->moved)
        SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(change->frame.left, change->frame.top));
    if (flags & SWP_SHOWWINDOW)
        ShowOnOwnThread(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW)
        ShowOnOwnThread(hwnd, SW_HIDE);
    return TRUE;
}

} // namespace

BOOL ShowWindow(HWND hwnd, int command)
{
    return static_cast<BOOL>(OnWindowThread(hwnd, [=]() { return ShowOnOwnThread(hwnd, command); }));
}

BOOL UpdateWindow(HWND hwnd)
{
    return static_cast<BOOL>(OnWindowThread(hwnd, [=]() -> LRESULT {
        const bool needsPaint = WithWindow(hwnd, [](Window& w) { return w.needsPaint; }).value_or(false);
        if (needsPaint && IsWindowVisible(hwnd))
            SendMessageW(hwnd, WM_PAINT, 0, 0);
        return TRUE;
    }));
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    return static_cast<BOOL>(
        OnWindowThread(hwnd, [=]() { return PositionOnOwnThread(hwnd, insertAfter, x, y, cx, cy, flags); }));
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL)
{
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL BringWindowToTop(HWND hwnd)
{
    return static_cast<BOOL>(OnWindowThread(hwnd, [=]() -> LRESULT {
        const HWND top = TopLevelOf(hwnd);
        if (WithWindow(top, [](Window& w) { return w.native; }).value_or(false))
            CurrentDisplay()->Raise(top, true);
        SetActiveWindow(top);
        return TRUE;
    }));
}

BOOL GetWindowRect(HWND hwnd, RECT* rect)
{
    const auto size = WithWindow(hwnd, [](Window& w) { return SIZE{w.Width(), w.Height()}; });
    if (!size || !rect)
        return FALSE;
    const POINT origin = ClientOrigin(hwnd);
    *rect = RECT{origin.x, origin.y, origin.x + size->cx, origin.y + size->cy};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect)
{
    const auto size = WithWindow(hwnd, [](Window& w) { return SIZE{w.Width(), w.Height()}; });
    if (!size || !rect)
        return FALSE;
    *rect = RECT{0, 0, size->cx, size->cy};
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point)
{
    if (!point || !IsWindow(hwnd))
        return FALSE;
    const POINT origin = ClientOrigin(hwnd);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point)
{
    if (!point || !IsWindow(hwnd))
        return FALSE;
    const POINT origin = ClientOrigin(hwnd);
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

BOOL GetWorkAreaRect(HWND hwnd, RECT* rect)
{
    if (!rect)
        return FALSE;
    const HWND top = hwnd ? TopLevelOf(hwnd) : nullptr;
    const bool native = WithWindow(top, [](Window& w) { return w.native; }).value_or(false);
    *rect = CurrentDisplay()->WorkArea(native ? top : nullptr);
    return TRUE;
}
