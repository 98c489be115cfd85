// Work that would block the UI thread runs on a thread of its own while the UI thread goes on
// painting and handling timers and posted messages.
#pragma once

#include "platform/win32_window.h"

#include <atomic>
#include <functional>
#include <optional>

// Runs `work` on a new thread and waits for its result on the UI thread, dispatching every
// message except mouse and key input for `window`, which is dropped unless `letThrough` says
// otherwise; the pointer shows busy meanwhile. When `window` is destroyed or the program is asked to end (WM_QUIT, passed on to
// the enclosing loop) before the work is done, `cancel` is set, the thread is waited for and
// the result is nullopt.
std::optional<int> RunWhileDispatching(HWND window, const std::function<int(const std::atomic<bool>& cancel)>& work,
    const std::function<bool(const MSG& input)>& letThrough = {});
