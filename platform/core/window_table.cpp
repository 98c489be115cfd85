#include "platform/core/window_table.h"
#include "platform/core/immortal.h"
#include "platform/win32_system.h"

#include <cwctype>
#include <map>

namespace platform {
namespace {

// Handle values step by 4 from here, like real handles; they never come round again.
constexpr UINT_PTR kFirstHandle = 0x10010;
constexpr UINT_PTR kHandleStep = 4;
constexpr ATOM kFirstAtom = 0xC000;

struct Tables {
    std::map<UINT_PTR, std::shared_ptr<Window>> windows;
    UINT_PTR nextHandle = kFirstHandle;
    std::vector<std::shared_ptr<WindowClass>> classes;
};

Tables& TheTables()
{
    static Immortal<Tables> tables;
    return tables.Get();
}

std::mutex g_classesMutex;

// Guards every Window record and the handle table; taken only in this file.
std::mutex& WindowsMutex()
{
    static Immortal<std::mutex> mutex;
    return mutex.Get();
}

bool SameClassName(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
    return true;
}

} // namespace

HWND AddWindow(const std::shared_ptr<Window>& window)
{
    std::lock_guard lock(WindowsMutex());
    Tables& tables = TheTables();
    const UINT_PTR value = tables.nextHandle;
    tables.nextHandle += kHandleStep;
    window->hwnd = reinterpret_cast<HWND>(value);
    tables.windows.emplace(value, window);
    return window->hwnd;
}

void RemoveWindow(HWND hwnd)
{
    std::shared_ptr<Window> removed; // released after the lock
    std::lock_guard lock(WindowsMutex());
    const auto found = TheTables().windows.find(reinterpret_cast<UINT_PTR>(hwnd));
    if (found != TheTables().windows.end()) {
        removed = found->second;
        TheTables().windows.erase(found);
    }
}

WindowRef FindWindowRef(HWND hwnd)
{
    if (!hwnd)
        return WindowRef();
    std::lock_guard lock(WindowsMutex());
    const auto found = TheTables().windows.find(reinterpret_cast<UINT_PTR>(hwnd));
    return found == TheTables().windows.end() ? WindowRef() : WindowRef(found->second);
}

bool VisitWindow(const WindowRef& window, const std::function<void(Window&)>& visit)
{
    if (!window)
        return false;
    std::lock_guard lock(WindowsMutex());
    visit(*window.m_window);
    return true;
}

std::vector<HWND> SelectWindows(const std::function<bool(const Window&)>& pick)
{
    std::vector<HWND> picked;
    std::lock_guard lock(WindowsMutex());
    for (const auto& [handle, window] : TheTables().windows)
        if (pick(*window))
            picked.push_back(window->hwnd);
    return picked;
}

void ForgetWindowsOfThread(DWORD threadId)
{
    std::vector<std::shared_ptr<Window>> forgotten;
    std::lock_guard lock(WindowsMutex());
    auto& windows = TheTables().windows;
    for (auto it = windows.begin(); it != windows.end();) {
        if (it->second->threadId == threadId) {
            forgotten.push_back(std::move(it->second));
            it = windows.erase(it);
        } else {
            ++it;
        }
    }
}

ATOM RegisterWindowClass(const WNDCLASSEXW& info)
{
    if (!info.lpszClassName || IS_INTRESOURCE(info.lpszClassName) || !info.lpfnWndProc)
        return 0;
    std::lock_guard lock(g_classesMutex);
    auto& classes = TheTables().classes;
    for (const auto& existing : classes)
        if (SameClassName(existing->name, info.lpszClassName))
            return 0;
    auto registered = std::make_shared<WindowClass>();
    registered->name = info.lpszClassName;
    registered->atom = static_cast<ATOM>(kFirstAtom + classes.size());
    registered->info = info;
    registered->info.lpszClassName = registered->name.c_str();
    classes.push_back(registered);
    return registered->atom;
}

std::shared_ptr<const WindowClass> FindWindowClass(LPCWSTR nameOrAtom)
{
    if (!nameOrAtom)
        return nullptr;
    std::lock_guard lock(g_classesMutex);
    for (const auto& registered : TheTables().classes) {
        if (IS_INTRESOURCE(nameOrAtom)) {
            if (registered->atom == static_cast<ATOM>(reinterpret_cast<UINT_PTR>(nameOrAtom)))
                return registered;
        } else if (SameClassName(registered->name, nameOrAtom)) {
            return registered;
        }
    }
    return nullptr;
}

bool OwnedByCurrentThread(const Window& window) { return window.threadId == GetCurrentThreadId(); }

bool WindowRef::OwnedByCurrentThread() const { return m_window->threadId == GetCurrentThreadId(); }

LRESULT CallWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WindowRef window = FindWindowRef(hwnd);
    const WNDPROC proc = WithWindow(window, [](const Window& w) { return w.proc; }).value_or(nullptr);
    if (!window)
        return 0;
    // `window` keeps the record alive while its procedure runs, even if it destroys itself.
    return proc ? proc(hwnd, message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

POINT ClientOrigin(HWND hwnd)
{
    POINT origin;
    std::lock_guard lock(WindowsMutex());
    auto& windows = TheTables().windows;
    for (int depth = 0; hwnd && depth < 64; ++depth) {
        const auto found = windows.find(reinterpret_cast<UINT_PTR>(hwnd));
        if (found == windows.end())
            break;
        origin.x += found->second->frame.left;
        origin.y += found->second->frame.top;
        hwnd = found->second->IsChild() ? found->second->parent : nullptr;
    }
    return origin;
}

HWND TopLevelOf(HWND hwnd)
{
    std::lock_guard lock(WindowsMutex());
    auto& windows = TheTables().windows;
    for (int depth = 0; hwnd && depth < 64; ++depth) {
        const auto found = windows.find(reinterpret_cast<UINT_PTR>(hwnd));
        if (found == windows.end())
            return nullptr;
        if (!found->second->IsChild())
            return hwnd;
        hwnd = found->second->parent;
    }
    return nullptr;
}

} // namespace platform
