#include "platform/ui_thread.h"
#include "platform/core/thread_queue.h"
#include "platform/core/window_core.h"
#include "platform/win32_system.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<DWORD> g_uiThread{0};

} // namespace

void MarkCurrentThreadAsUi()
{
    CurrentQueue();
    g_uiThread = GetCurrentThreadId();
}

void AdoptUiThreadIfUnset()
{
    DWORD none = 0;
    g_uiThread.compare_exchange_strong(none, GetCurrentThreadId());
}

DWORD UiThreadId() { return g_uiThread; }

bool IsUiThread() { return g_uiThread == GetCurrentThreadId(); }

bool InvokeOnUiThread(std::function<void()> work)
{
    const DWORD ui = g_uiThread;
    if (ui == 0 || ui == GetCurrentThreadId()) {
        work();
        return true;
    }
    const auto ran = RunOnThread(QueueOfThread(ui), [&work]() -> LRESULT {
        work();
        return 0;
    });
    return ran.has_value();
}

} // namespace platform
