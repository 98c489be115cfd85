// Window attributes: existence, visibility, enabled state, relations, long values, text.
#include "platform/core/display.h"
#include "platform/core/window_core.h"
#include "platform/win32_system.h"

#include <utility>

#include <unistd.h>

#include <algorithm>

using namespace platform;

BOOL IsWindow(HWND hwnd) { return FindWindowRef(hwnd) ? TRUE : FALSE; }

BOOL IsWindowVisible(HWND hwnd)
{
    for (int depth = 0; depth < 64; ++depth) {
        const auto state = WithWindow(hwnd, [](Window& w) {
            return std::pair{w.Visible(), w.IsChild() ? w.parent : nullptr};
        });
        if (!state || !state->first)
            return FALSE;
        if (!state->second)
            return TRUE;
        hwnd = state->second;
    }
    return FALSE;
}

BOOL IsWindowEnabled(HWND hwnd)
{
    return WithWindow(hwnd, [](Window& w) { return w.Enabled(); }).value_or(false) ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd)
{
    return WithWindow(hwnd, [](Window& w) { return w.iconic; }).value_or(false) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable)
{
    return static_cast<BOOL>(OnWindowThread(hwnd, [hwnd, enable]() -> LRESULT {
        const auto wasDisabled = WithWindow(hwnd, [&](Window& w) {
            const bool disabled = !w.Enabled();
            if (enable)
                w.style &= ~WS_DISABLED;
            else
                w.style |= WS_DISABLED;
            return disabled;
        });
        if (!wasDisabled)
            return FALSE;
        if (*wasDisabled == !enable)
            return *wasDisabled;
        if (!enable) {
            if (GetFocus() == hwnd)
                SetFocus(nullptr);
            if (GetCapture() == hwnd)
                ReleaseCapture();
        }
        SendMessageW(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
        return *wasDisabled;
    }));
}

HWND GetWindow(HWND hwnd, UINT relation)
{
    if (relation != GW_OWNER)
        return nullptr;
    return WithWindow(hwnd, [](Window& w) { return w.owner; }).value_or(nullptr);
}

HWND GetParent(HWND hwnd)
{
    return WithWindow(hwnd, [](Window& w) -> HWND {
        if (w.IsChild())
            return w.parent;
        return (w.style & WS_POPUP) ? w.owner : nullptr;
    }).value_or(nullptr);
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index)
{
    return WithWindow(hwnd, [index](Window& w) -> LONG_PTR {
        switch (index) {
        case GWL_STYLE:
            return static_cast<LONG_PTR>(w.style);
        case GWL_EXSTYLE:
            return static_cast<LONG_PTR>(w.exStyle);
        case GWLP_USERDATA:
            return w.userData;
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w.proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w.instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(w.IsChild() ? w.parent : w.owner);
        case GWLP_ID:
            return reinterpret_cast<LONG_PTR>(w.menu);
        default:
            return 0;
        }
    }).value_or(0);
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value)
{
    bool toolWindowChanged = false;
    bool toolWindow = false;
    bool native = false;
    const auto previous = WithWindow(hwnd, [&](Window& w) -> LONG_PTR {
        native = w.native;
        switch (index) {
        case GWL_STYLE:
            return static_cast<LONG_PTR>(std::exchange(w.style, static_cast<DWORD>(value)));
        case GWL_EXSTYLE: {
            const DWORD old = std::exchange(w.exStyle, static_cast<DWORD>(value));
            toolWindow = (w.exStyle & WS_EX_TOOLWINDOW) != 0;
            toolWindowChanged = ((old ^ w.exStyle) & WS_EX_TOOLWINDOW) != 0;
            return static_cast<LONG_PTR>(old);
        }
        case GWLP_USERDATA:
            return std::exchange(w.userData, value);
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(std::exchange(w.proc, reinterpret_cast<WNDPROC>(value)));
        case GWLP_ID:
            return reinterpret_cast<LONG_PTR>(std::exchange(w.menu, reinterpret_cast<HMENU>(value)));
        default:
            return 0;
        }
    });
    if (native && toolWindowChanged)
        OnWindowThread(hwnd, [&]() {
            CurrentDisplay()->SetToolWindow(hwnd, toolWindow);
            return LRESULT{0};
        });
    return previous.value_or(0);
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text)
{
    if (!IsWindow(hwnd))
        return FALSE;
    return static_cast<BOOL>(SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int maxCount)
{
    if (!buffer || maxCount <= 0)
        return 0;
    const auto text = WithWindow(hwnd, [](Window& w) { return w.text; }).value_or(std::wstring());
    const auto count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(maxCount - 1));
    std::copy_n(text.begin(), count, buffer);
    buffer[count] = L'\0';
    return static_cast<int>(count);
}

int GetWindowTextLengthW(HWND hwnd)
{
    return static_cast<int>(WithWindow(hwnd, [](Window& w) { return w.text.size(); }).value_or(0));
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId)
{
    const auto thread = WithWindow(hwnd, [](Window& w) { return w.threadId; });
    if (!thread)
        return 0;
    if (processId)
        *processId = static_cast<DWORD>(getpid());
    return *thread;
}

BOOL EnumWindows(WNDENUMPROC callback, LPARAM lParam)
{
    if (!callback)
        return FALSE;
    for (const HWND window : SelectWindows([](const Window& w) { return !w.IsChild() && !w.destroying; }))
        if (IsWindow(window) && !callback(window, lParam))
            return FALSE;
    return TRUE;
}
