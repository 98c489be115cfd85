// The UI thread: the thread that initialised the UI (InitializeUi in ui_session.h) or, when
// nothing did, the first thread that created a window. Every window of the program lives there.
#pragma once

#include "platform/win32_types.h"

#include <functional>

namespace platform {

// Makes the calling thread the UI thread.
void MarkCurrentThreadAsUi();
// 0 while there is none.
DWORD UiThreadId();
bool IsUiThread();

// Runs `work` on the UI thread and returns once it ran. On the UI thread itself it runs at
// once. From another thread it is handed over and the UI thread runs it as soon as it looks at
// its queue: in any message loop, nested modal loops included, and while it waits in a
// cross-thread SendMessageW. The calling thread meanwhile handles what is handed to it.
// Without a UI thread it runs on the calling thread. Returns false, without running it, when
// the UI thread has ended. What `work` throws is thrown here.
bool InvokeOnUiThread(std::function<void()> work);

} // namespace platform
