// Threads in the Win32 shape over std::jthread. The table owns every thread it starts: its
// HANDLE names a record of its end that WaitForSingleObject waits on. CloseHandle lets go of the
// name only: a thread that has ended is joined there; one that is still running stays owned by
// the table until its routine returns, and then lets itself go (detaches), as nobody can wait
// for it any more.
#include "platform/core/immortal.h"
#include "platform/core/thread_queue.h"
#include "platform/win32_system.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct ThreadRecord {
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    DWORD exitCode = 0;

    bool Finished()
    {
        std::lock_guard lock(mutex);
        return finished;
    }
};

struct OwnedThread {
    std::shared_ptr<ThreadRecord> record;
    std::jthread thread;
};

// Threads with an open handle, by handle (the address of nothing: a small tagged number), and
// threads whose handle was closed while they ran.
struct ThreadTable {
    std::mutex mutex;
    std::map<HANDLE, OwnedThread> open;
    std::vector<OwnedThread> closed;
};

ThreadTable& Threads()
{
    static platform::Immortal<ThreadTable> table;
    return table.Get();
}

std::shared_ptr<ThreadRecord> FindThread(HANDLE handle)
{
    std::lock_guard lock(Threads().mutex);
    const auto found = Threads().open.find(handle);
    return found == Threads().open.end() ? nullptr : found->second.record;
}

// Takes the threads whose handle is closed and whose routine has returned out of the table;
// the caller joins them (each is at most leaving its routine) without the table's lock.
std::vector<OwnedThread> TakeEnded(ThreadTable& table)
{
    std::vector<OwnedThread> ended;
    std::erase_if(table.closed, [&ended](OwnedThread& owned) {
        if (!owned.record->Finished())
            return false;
        ended.push_back(std::move(owned));
        return true;
    });
    return ended;
}

// The end of a thread whose handle was closed while it ran: nobody joins it, so it detaches
// itself and leaves the table.
void LetGoIfClosed(const ThreadRecord* record)
{
    std::lock_guard lock(Threads().mutex);
    std::vector<OwnedThread>& closed = Threads().closed;
    const auto found = std::find_if(
        closed.begin(), closed.end(), [record](const OwnedThread& owned) { return owned.record.get() == record; });
    if (found == closed.end())
        return;
    found->thread.detach();
    closed.erase(found);
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
    std::jthread thread;
    try {
        thread = std::jthread([record, routine, parameter, started = std::move(started)]() mutable {
            started.set_value(GetCurrentThreadId());
            const DWORD code = routine(parameter);
            {
                std::lock_guard lock(record->mutex);
                record->exitCode = code;
                record->finished = true;
                record->ended.notify_all();
            }
            LetGoIfClosed(record.get());
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    const DWORD id = startedId.get();
    if (threadId)
        *threadId = id;
    HANDLE handle;
    std::vector<OwnedThread> ended;
    {
        std::lock_guard lock(Threads().mutex);
        handle = NextHandleValue();
        Threads().open.emplace(handle, OwnedThread{std::move(record), std::move(thread)});
        ended = TakeEnded(Threads());
    }
    return handle;
}

BOOL CloseHandle(HANDLE handle)
{
    std::vector<OwnedThread> ended; // joined after the lock
    std::lock_guard lock(Threads().mutex);
    const auto found = Threads().open.find(handle);
    if (found == Threads().open.end())
        return FALSE;
    Threads().closed.push_back(std::move(found->second));
    Threads().open.erase(found);
    ended = TakeEnded(Threads());
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
