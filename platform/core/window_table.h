// Window objects, window classes and the handle table of the window core.
//
// Handles are never reused. Every field of a Window is guarded by WindowsMutex(); window
// procedures and the display are never called with it held. The surface is touched only on
// the window's own thread.
#pragma once

#include "platform/core/surface.h"
#include "platform/core/thread_queue.h"
#include "platform/win32_window.h"

#include <functional>
#include <utility>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct WindowClass {
    std::wstring name;
    ATOM atom = 0;
    WNDCLASSEXW info;   // info.lpszClassName points into `name`
};

struct Window {
    HWND hwnd = nullptr;
    DWORD threadId = 0;
    std::shared_ptr<ThreadQueue> queue;
    std::shared_ptr<const WindowClass> windowClass;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND owner = nullptr;    // top-level windows
    HWND parent = nullptr;   // WS_CHILD windows
    HINSTANCE instance = nullptr;
    HMENU menu = nullptr;
    std::wstring text;
    LONG_PTR userData = 0;
    // Client area: screen coordinates for top-level windows, the parent's client coordinates
    // for child windows. There is no non-client area.
    RECT frame;
    bool iconic = false;
    bool native = false;       // mirrored by the display
    bool destroying = false;
    bool needsPaint = false;
    bool needsErase = false;
    RECT invalid;              // client coordinates, meaningful while needsPaint
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    std::unique_ptr<HDC__> surface;

    bool Visible() const { return (style & WS_VISIBLE) != 0; }
    bool Enabled() const { return (style & WS_DISABLED) == 0; }
    bool IsChild() const { return (style & WS_CHILD) != 0; }
    int Width() const { return frame.right - frame.left; }
    int Height() const { return frame.bottom - frame.top; }
};

std::mutex& WindowsMutex();

// Registers the window and gives it its handle.
HWND AddWindow(const std::shared_ptr<Window>& window);
void RemoveWindow(HWND hwnd);
std::shared_ptr<Window> FindWindowObject(HWND hwnd);
// Windows in creation order that satisfy `pick` (called with WindowsMutex held).
std::vector<std::shared_ptr<Window>> SelectWindows(const std::function<bool(const Window&)>& pick);
// A thread ended: its windows are gone without messages.
void ForgetWindowsOfThread(DWORD threadId);

// Reads or changes a window under the lock; nullopt when the handle names no window.
template <typename F>
auto WithWindow(HWND hwnd, F&& f) -> std::optional<decltype(f(std::declval<Window&>()))>
{
    const auto window = FindWindowObject(hwnd);
    if (!window)
        return std::nullopt;
    std::lock_guard lock(WindowsMutex());
    return f(*window);
}

// Window classes (names compare without regard to ASCII case; an atom names its class too).
ATOM RegisterWindowClass(const WNDCLASSEXW& info);
std::shared_ptr<const WindowClass> FindWindowClass(LPCWSTR nameOrAtom);

// Calls the window procedure on the calling thread (which must own the window).
LRESULT CallWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Whether the calling thread owns the window.
bool OwnedByCurrentThread(const Window& window);

// Screen position of the window's client origin.
POINT ClientOrigin(HWND hwnd);
// The top-level window a window belongs to (itself for top-level windows).
HWND TopLevelOf(HWND hwnd);

} // namespace platform
