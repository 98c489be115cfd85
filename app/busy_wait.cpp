#include "app/busy_wait.h"

#include "platform/win32.h"

#include <thread>

namespace {

bool IsUserInput(UINT message)
{
    return (message >= WM_KEYDOWN && message <= WM_CHAR) || (message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL) ||
        message == WM_MOUSEHOVER || message == WM_MOUSELEAVE;
}

class BusyPointer {
public:
    BusyPointer() : m_previous(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~BusyPointer() { SetCursor(m_previous); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    const HCURSOR m_previous;
};

} // namespace

std::optional<int> RunWhileDispatching(HWND window, const std::function<int(const std::atomic<bool>& cancel)>& work,
    const std::function<bool(const MSG& input)>& letThrough)
{
    const DWORD uiThread = GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::atomic<bool> cancel{false};
    int result = 0;
    std::optional<int> quitCode;
    {
        const BusyPointer busy;
        // Joined in every path: the work may use what the caller owns.
        const std::jthread thread([&] {
            result = work(cancel);
            done.store(true);
            PostThreadMessageW(uiThread, WM_NULL, 0, 0); // wakes the wait below
        });
        MSG msg;
        while (!done.load() && IsWindow(window)) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                quitCode = static_cast<int>(msg.wParam);
                break;
            }
            if (got < 0)
                break;
            if (msg.hwnd == window && IsUserInput(msg.message) && !(letThrough && letThrough(msg)))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!done.load())
            cancel.store(true);
    }
    if (quitCode) {
        PostQuitMessage(*quitCode);
        return std::nullopt;
    }
    if (!done.load() || !IsWindow(window))
        return std::nullopt;
    return result;
}
