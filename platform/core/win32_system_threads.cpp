// Threads in the Win32 shape over std::thread. A thread runs detached; its HANDLE names a
// record of its end that WaitForSingleObject waits on and CloseHandle lets go of.
#include "platform/core/immortal.h"
#include "platform/core/thread_queue.h"
#include "platform/win32_system.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct ThreadRecord {
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    DWORD exitCode = 0;
};

// Open handles. A handle is the address of its entry's key object, valid until CloseHandle.
struct HandleTable {
    std::mutex mutex;
    std::map<HANDLE, std::shared_ptr<ThreadRecord>> threads;
};

HandleTable& Handles()
{
    static platform::Immortal<HandleTable> table;
    return table.Get();
}

std::shared_ptr<ThreadRecord> FindThread(HANDLE handle)
{
    std::lock_guard lock(Handles().mutex);
    const auto found = Handles().threads.find(handle);
    return found == Handles().threads.end() ? nullptr : found->second;
}

// Handle values: small tagged numbers that never come round again.
HANDLE NextHandleValue()
{
    static UINT_PTR next = 0x1004;
    const UINT_PTR value = next;
    next += 4;
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

HANDLE CreateThread(
    SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE routine, LPVOID parameter, DWORD, LPDWORD threadId)
{
    if (!routine)
        return nullptr;
    auto record = std::make_shared<ThreadRecord>();
    std::promise<DWORD> started;
    auto startedId = started.get_future();
    HANDLE handle;
    {
        std::lock_guard lock(Handles().mutex);
        handle = NextHandleValue();
        Handles().threads.emplace(handle, record);
    }
    try {
        std::thread([record, routine, parameter, started = std::move(started)]() mutable {
            started.set_value(GetCurrentThreadId());
            const DWORD code = routine(parameter);
            std::lock_guard lock(record->mutex);
            record->exitCode = code;
            record->finished = true;
            record->ended.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(Handles().mutex);
        Handles().threads.erase(handle);
        return nullptr;
    }
    const DWORD id = startedId.get();
    if (threadId)
        *threadId = id;
    return handle;
}

BOOL CloseHandle(HANDLE handle)
{
    std::shared_ptr<ThreadRecord> released; // let go of after the lock
    std::lock_guard lock(Handles().mutex);
    const auto found = Handles().threads.find(handle);
    if (found == Handles().threads.end())
        return FALSE;
    released = std::move(found->second);
    Handles().threads.erase(found);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    const auto record = FindThread(handle);
    if (!record)
        return WAIT_FAILED;
    std::unique_lock lock(record->mutex);
    const auto finished = [&] { return record->finished; };
    if (milliseconds == INFINITE) {
        record->ended.wait(lock, finished);
        return WAIT_OBJECT_0;
    }
    return record->ended.wait_for(lock, std::chrono::milliseconds(milliseconds), finished) ? WAIT_OBJECT_0
                                                                                           : WAIT_TIMEOUT;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode)
{
    const auto record = FindThread(handle);
    if (!record || !exitCode)
        return FALSE;
    std::lock_guard lock(record->mutex);
    *exitCode = record->finished ? record->exitCode : STILL_ACTIVE;
    return TRUE;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

DWORD GetCurrentThreadId()
{
    thread_local const DWORD id = static_cast<DWORD>(gettid());
    return id;
}

DWORD GetTickCount() { return platform::TickCount(); }
