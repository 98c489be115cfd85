#include "test_window.h"

#include <mutex>

namespace platform::testing {
namespace {

constexpr wchar_t kClassName[] = L"PlatformTestWindow";

LRESULT TestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* window = static_cast<TestWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        window->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window && window->journal)
        window->journal->push_back(Received{hwnd, message, wParam, lParam});
    if (window && window->handler)
        if (const auto answer = window->handler(hwnd, message, wParam, lParam))
            return *answer;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

HWND CreateTestWindow(TestWindow& window, DWORD style, DWORD exStyle, HWND owner, RECT frame)
{
    static std::once_flag registered;
    std::call_once(registered, [] {
        WNDCLASSEXW wc;
        wc.lpfnWndProc = TestProc;
        wc.lpszClassName = kClassName;
        RegisterClassExW(&wc);
    });
    return CreateWindowExW(exStyle, kClassName, L"test", style, frame.left, frame.top, frame.right - frame.left,
        frame.bottom - frame.top, owner, nullptr, nullptr, &window);
}

bool RunModal(HWND hwnd, HWND owner)
{
    ShowWindow(hwnd, SW_SHOW);
    const bool disabled = owner && IsWindowEnabled(owner);
    if (disabled)
        EnableWindow(owner, FALSE);
    bool quit = false;
    MSG msg;
    while (IsWindow(hwnd)) {
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            quit = true;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (disabled)
        EnableWindow(owner, TRUE);
    return quit;
}

bool PumpPending()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return false;
        DispatchMessageW(&msg);
    }
    return true;
}

void DrainQueue()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_PAINT)
            DispatchMessageW(&msg);
}

std::vector<UINT> UserMessages(const std::vector<Received>& journal)
{
    std::vector<UINT> messages;
    for (const Received& r : journal)
        if (r.message >= WM_USER)
            messages.push_back(r.message);
    return messages;
}

} // namespace platform::testing
