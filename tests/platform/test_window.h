// Windows for tests: each records the messages it receives and may answer some itself.
#pragma once

#include "platform/win32_window.h"

#include <functional>
#include <optional>
#include <vector>

namespace platform::testing {

struct Received {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Passed to the window at creation; must outlive the window.
struct TestWindow {
    // Answers a message, or nullopt to leave it to DefWindowProcW.
    std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> handler;
    // Where received messages are written; several windows may share one journal.
    std::vector<Received>* journal = nullptr;
    HWND hwnd = nullptr;
};

// A top-level window of the test class (registered on first use).
HWND CreateTestWindow(TestWindow& window, DWORD style = WS_POPUP, DWORD exStyle = 0, HWND owner = nullptr,
    RECT frame = RECT{100, 100, 400, 300});

// What ShowModal does: show, disable the owner, dispatch while the window exists, re-post a
// quit and stop on WM_QUIT, enable the owner. Returns whether a quit ended the loop.
bool RunModal(HWND hwnd, HWND owner);

// Dispatches everything waiting now (posted messages, paints, due timers) without blocking;
// returns false if a WM_QUIT was taken.
bool PumpPending();

// Throws away whatever is left in the calling thread's queue, a pending quit included.
void DrainQueue();

// The user messages (WM_USER and above) of a journal, in order.
std::vector<UINT> UserMessages(const std::vector<Received>& journal);

} // namespace platform::testing
