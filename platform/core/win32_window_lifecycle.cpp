// Window classes, creation, destruction and the default window procedure.
#include "platform/core/display.h"
#include "platform/core/window_core.h"
#include "platform/win32_system.h"

#include <utility>

#include <algorithm>
#include <atomic>

namespace platform {
namespace {

constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;
constexpr int kCascadeStep = 32;
constexpr int kCascadeCount = 8;

// Where CW_USEDEFAULT puts a top-level window: cascaded inside the work area.
RECT DefaultFrame(int x, int y, int width, int height, bool child)
{
    static std::atomic<int> cascade{0};
    RECT area = child ? RECT{0, 0, kDefaultWidth, kDefaultHeight} : CurrentDisplay()->WorkArea(nullptr);
    if (width == CW_USEDEFAULT) {
        width = std::min<int>(kDefaultWidth, area.right - area.left);
        height = std::min<int>(kDefaultHeight, area.bottom - area.top);
    }
    if (x == CW_USEDEFAULT) {
        const int step = child ? 0 : kCascadeStep * (cascade++ % kCascadeCount);
        x = area.left + step;
        y = area.top + step;
    }
    return RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
}

void DestroyOwnedWindows(HWND owner)
{
    const DWORD self = GetCurrentThreadId();
    for (const auto& owned :
        SelectWindows([&](const Window& w) { return w.owner == owner && !w.destroying && w.threadId == self; }))
        DestroyWindow(owned);
}

void DestroyChildWindows(HWND parent)
{
    for (const auto& child :
        SelectWindows([&](const Window& w) { return w.IsChild() && w.parent == parent && !w.destroying; }))
        DestroyWindow(child);
}

LRESULT SetIconMessage(HWND hwnd, WPARAM which, HICON icon)
{
    HICON previous = nullptr;
    HICON shown = nullptr;
    bool native = false;
    WithWindow(hwnd, [&](Window& w) {
        HICON& slot = which == ICON_BIG ? w.bigIcon : w.smallIcon;
        previous = std::exchange(slot, icon);
        shown = w.bigIcon ? w.bigIcon : w.smallIcon;
        native = w.native;
        return 0;
    });
    if (native)
        CurrentDisplay()->SetIcon(hwnd, shown);
    return reinterpret_cast<LRESULT>(previous);
}

LRESULT SetTextMessage(HWND hwnd, LPCWSTR text)
{
    std::wstring title = text ? text : L"";
    const auto native = WithWindow(hwnd, [&](Window& w) {
        w.text = title;
        return w.native;
    });
    if (!native)
        return FALSE;
    if (*native)
        CurrentDisplay()->SetTitle(hwnd, title);
    return TRUE;
}

LRESULT SystemCommand(HWND hwnd, WPARAM command)
{
    switch (command & 0xFFF0) {
    case SC_MINIMIZE:
        ShowWindow(hwnd, SW_MINIMIZE);
        break;
    case SC_RESTORE:
        ShowWindow(hwnd, SW_RESTORE);
        break;
    case SC_CLOSE:
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
    return 0;
}

} // namespace
} // namespace platform

using namespace platform;

ATOM RegisterClassExW(const WNDCLASSEXW* wc)
{
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXW))
        return 0;
    return RegisterWindowClass(*wc);
}

BOOL GetClassInfoExW(HINSTANCE, LPCWSTR className, WNDCLASSEXW* wc)
{
    const auto found = FindWindowClass(className);
    if (!found || !wc)
        return FALSE;
    *wc = found->info;
    return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
    int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    const auto windowClass = FindWindowClass(className);
    if (!windowClass)
        return nullptr;
    const bool child = (style & WS_CHILD) != 0;
    if ((child && !IsWindow(parent)) || (parent && !IsWindow(parent)))
        return nullptr;

    auto window = std::make_shared<Window>();
    window->threadId = GetCurrentThreadId();
    window->queue = CurrentQueue();
    window->windowClass = windowClass;
    window->proc = windowClass->info.lpfnWndProc;
    window->style = style & ~WS_VISIBLE;
    window->exStyle = exStyle;
    window->parent = child ? parent : nullptr;
    window->owner = child ? nullptr : TopLevelOf(parent);
    window->instance = instance;
    window->menu = menu;
    window->text = windowName ? windowName : L"";
    window->frame = DefaultFrame(x, y, width, height, child);
    window->needsPaint = true;
    window->needsErase = true;
    window->invalid = RECT{0, 0, window->Width(), window->Height()};
    // The record is the table's once added: what the rest of the creation needs is kept here.
    const RECT frame = window->frame;
    const HWND owner = window->owner;
    const HWND hwnd = AddWindow(window);
    window.reset();
    AdoptUiThreadIfUnset();

    const auto display = CurrentDisplay();
    if (!child && display->IsEventThread(GetCurrentThreadId())) {
        NativeWindowSpec spec;
        spec.hwnd = hwnd;
        spec.frame = frame;
        spec.toolWindow = (exStyle & WS_EX_TOOLWINDOW) != 0;
        spec.topmost = (exStyle & WS_EX_TOPMOST) != 0;
        spec.title = windowName ? windowName : L"";
        WithWindow(owner, [&](Window& o) { return spec.owner = o.native ? o.hwnd : nullptr; });
        WithWindow(hwnd, [](Window& w) { return w.native = true; });
        display->CreateNativeWindow(spec);
    }

    CREATESTRUCTW create;
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.x = frame.left;
    create.y = frame.top;
    create.cx = frame.right - frame.left;
    create.cy = frame.bottom - frame.top;
    create.style = static_cast<LONG>(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
    if (!SendMessageW(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) ||
        SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!IsWindow(hwnd))
        return nullptr;
    RECT client;
    GetClientRect(hwnd, &client);
    SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    if (style & WS_VISIBLE)
        ShowWindow(hwnd, (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd)
{
    const WindowRef window = FindWindowRef(hwnd);
    bool native = false;
    bool visible = false;
    HWND owner = nullptr;
    const bool starts = WithWindow(window, [&](Window& w) {
        if (!OwnedByCurrentThread(w) || w.destroying)
            return false;
        w.destroying = true;
        native = w.native;
        visible = w.Visible();
        owner = w.owner;
        w.style &= ~WS_VISIBLE;
        return true;
    }).value_or(false);
    if (!starts)
        return FALSE;
    DestroyOwnedWindows(hwnd);
    if (native && visible)
        CurrentDisplay()->SetShowState(hwnd, ShowState::Hidden, false);
    ForgetInputState(hwnd, owner);
    SendMessageW(hwnd, WM_DESTROY, 0, 0);
    DestroyChildWindows(hwnd);
    window.Queue()->KillTimersOf(hwnd);
    if (native)
        CurrentDisplay()->DestroyNativeWindow(hwnd);
    SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
    RemoveWindow(hwnd);
    return TRUE;
}

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SYSCOMMAND:
        return SystemCommand(hwnd, wParam);
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_NCACTIVATE:
        return TRUE;
    case WM_SETICON:
        return SetIconMessage(hwnd, wParam, reinterpret_cast<HICON>(lParam));
    case WM_GETICON:
        return WithWindow(hwnd, [&](Window& w) {
            return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? w.bigIcon : w.smallIcon);
        }).value_or(0);
    case WM_SETTEXT:
        return SetTextMessage(hwnd, reinterpret_cast<LPCWSTR>(lParam));
    case WM_ERASEBKGND:
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
        return 0;
    }
    default:
        return 0;
    }
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}
