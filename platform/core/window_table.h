// Window objects, window classes and the handle table of the window core.
//
// Handles are never reused. The table's lock guards every Window record, and only the table
// takes it: a record is reached only through WithWindow and SelectWindows, which hold the lock
// while they run their function. Outside them a window is a WindowRef, which shows only what
// never changes once the window is in the table. Window procedures and the display are never
// called with the lock held. The surface is touched only on the window's own thread.
#pragma once

#include "platform/core/surface.h"
#include "platform/core/thread_queue.h"
#include "platform/win32_window.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct WindowClass {
    std::wstring name;
    ATOM atom = 0;
    WNDCLASSEXW info; // info.lpszClassName points into `name`
};

// A window's record. hwnd, threadId and queue are set before AddWindow and never change.
struct Window {
    HWND hwnd = nullptr;
    DWORD threadId = 0;
    std::shared_ptr<ThreadQueue> queue;
    std::shared_ptr<const WindowClass> windowClass;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND owner = nullptr; // top-level windows
    HWND parent = nullptr; // WS_CHILD windows
    HINSTANCE instance = nullptr;
    HMENU menu = nullptr;
    std::wstring text;
    LONG_PTR userData = 0;
    // Client area: screen coordinates for top-level windows, the parent's client coordinates
    // for child windows. There is no non-client area.
    RECT frame;
    bool iconic = false;
    bool native = false; // mirrored by the display
    bool destroying = false;
    bool needsPaint = false;
    bool needsErase = false;
    RECT invalid; // client coordinates, meaningful while needsPaint
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    std::unique_ptr<HDC__> surface;

    bool Visible() const { return (style & WS_VISIBLE) != 0; }
    bool Enabled() const { return (style & WS_DISABLED) == 0; }
    bool IsChild() const { return (style & WS_CHILD) != 0; }
    int Width() const { return frame.right - frame.left; }
    int Height() const { return frame.bottom - frame.top; }
};

// A window found in the table: its handle, thread and queue. Holding one keeps the record
// alive (a procedure may destroy its own window while it runs); its fields stay behind the lock.
class WindowRef {
public:
    WindowRef() = default;
    explicit operator bool() const { return m_window != nullptr; }
    HWND Handle() const { return m_window->hwnd; }
    DWORD ThreadId() const { return m_window->threadId; }
    const std::shared_ptr<ThreadQueue>& Queue() const { return m_window->queue; }
    // Whether the calling thread owns the window.
    bool OwnedByCurrentThread() const;

private:
    friend WindowRef FindWindowRef(HWND hwnd);
    friend bool VisitWindow(const WindowRef& window, const std::function<void(Window&)>& visit);
    explicit WindowRef(std::shared_ptr<Window> window) : m_window(std::move(window)) {}
    std::shared_ptr<Window> m_window;
};

// Registers the window and gives it its handle; from here on the record is the table's.
HWND AddWindow(const std::shared_ptr<Window>& window);
void RemoveWindow(HWND hwnd);
// An empty reference when the handle names no window.
WindowRef FindWindowRef(HWND hwnd);
// Windows in creation order whose record satisfies `pick` (called under the lock).
std::vector<HWND> SelectWindows(const std::function<bool(const Window&)>& pick);
// A thread ended: its windows are gone without messages.
void ForgetWindowsOfThread(DWORD threadId);

// Runs `visit` on the record under the lock; false when the reference is empty.
bool VisitWindow(const WindowRef& window, const std::function<void(Window&)>& visit);

// Reads or changes a window under the lock; nullopt when the handle names no window.
template <typename F>
auto WithWindow(const WindowRef& window, F&& f) -> std::optional<decltype(f(std::declval<Window&>()))>
{
    std::optional<decltype(f(std::declval<Window&>()))> result;
    VisitWindow(window, [&](Window& record) { result.emplace(f(record)); });
    return result;
}
template <typename F>
auto WithWindow(HWND hwnd, F&& f)
{
    return WithWindow(FindWindowRef(hwnd), std::forward<F>(f));
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
