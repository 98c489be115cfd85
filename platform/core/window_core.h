// Helpers shared by the files of the window core.
#pragma once

#include "platform/core/thread_queue.h"
#include "platform/core/window_table.h"

#include <functional>
#include <optional>

namespace platform {

// A visible window of the thread that waits for WM_PAINT and passes the filter.
std::optional<HWND> WindowNeedingPaint(DWORD threadId, const MessageFilter& filter);
// Marks the whole client area for painting and wakes the owning thread. Any thread.
void InvalidateWholeWindow(HWND hwnd);
// The window goes away: focus, capture and activation of the calling thread let go of it.
void ForgetInputState(HWND hwnd, HWND successor);
// A message stamped with the present tick count.
MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Remembers the calling thread as the UI thread when no UI thread is set yet.
void AdoptUiThreadIfUnset();

// Runs `work` on the thread that owns the window: at once when that is the calling thread,
// otherwise handed over and waited for. `gone` when the window or its thread is gone.
LRESULT OnWindowThread(HWND hwnd, const std::function<LRESULT()>& work, LRESULT gone = 0);

} // namespace platform
