// The message queue of one thread: posted messages, messages sent from other threads (and
// other work those threads hand over), the quit request and the thread's timers.
#pragma once

#include "platform/win32_window.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

class ThreadQueue;

// Work handed to another thread, which runs it the next time it looks at its queue; the
// handing thread waits for the result and keeps handling work handed to it meanwhile.
struct SentTask {
    std::function<LRESULT()> work;
    std::shared_ptr<ThreadQueue> sender;
    LRESULT result = 0;
    std::exception_ptr error;
    bool ran = false;
    bool done = false; // guarded by the sender's queue
};

struct MessageFilter {
    HWND hwnd = nullptr;
    UINT first = 0;
    UINT last = 0;

    bool Matches(HWND target, UINT message) const
    {
        if (hwnd && target != hwnd)
            return false;
        return (first == 0 && last == 0) || (message >= first && message <= last);
    }
};

class ThreadQueue {
public:
    using Clock = std::chrono::steady_clock;

    explicit ThreadQueue(DWORD threadId) : m_threadId(threadId) {}
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    DWORD ThreadId() const { return m_threadId; }

    // ---- Any thread ----
    // False when the thread has ended.
    bool Post(const MSG& msg);
    // Mouse moves replace a move for the same window still waiting at the end of the queue.
    bool PostInput(const MSG& msg);
    bool Submit(const std::shared_ptr<SentTask>& task);
    // Wakes the thread if it waits, or makes its next wait return at once.
    void Wake();

    // ---- The owning thread ----
    void PostQuit(int exitCode);
    // Runs everything other threads handed over so far; true if anything ran.
    bool RunSentTasks();
    std::optional<MSG> TakePosted(const MessageFilter& filter, bool remove);
    std::optional<int> TakeQuit(const MessageFilter& filter, bool remove);

    // Timers (owning thread). An id of 0 picks a fresh id for thread timers.
    UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
    bool KillTimer(HWND hwnd, UINT_PTR id);
    void KillTimersOf(HWND hwnd);
    std::optional<MSG> TakeDueTimer(const MessageFilter& filter, bool remove, Clock::time_point now);
    std::optional<Clock::time_point> NextTimerDue() const;

    // Marks the start of a look at the queue: a Wake from now on makes the next Wait return.
    void BeginScan();
    // Blocks until Wake (or anything posted or handed over) since BeginScan, or the deadline.
    void Wait(std::optional<Clock::time_point> deadline);

    // For the thread handing work over: whether the task is done. Completion wakes this queue.
    bool IsDone(const SentTask& task);
    void Complete(const std::shared_ptr<SentTask>& task);

    // The thread ends: pending and later work completes without running, posts fail.
    void Close();
    bool IsClosed();

private:
    struct Timer {
        HWND hwnd = nullptr;
        UINT_PTR id = 0;
        std::chrono::milliseconds interval{0};
        TIMERPROC proc = nullptr;
        Clock::time_point due;
    };

    // Returns whether the thread blocks in the display's wait and needs the display woken.
    bool SignalLocked();

    const DWORD m_threadId;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled = false;
    bool m_waitingInDisplay = false; // set while the thread blocks in the display's wait
    bool m_closed = false;
    std::deque<MSG> m_posted;
    std::deque<std::shared_ptr<SentTask>> m_sent;
    bool m_quitPending = false;
    int m_quitCode = 0;
    std::vector<Timer> m_timers;
    UINT_PTR m_nextThreadTimerId = 1;
};

// The calling thread's queue, made on first use; closed when the thread ends.
std::shared_ptr<ThreadQueue> CurrentQueue();
// The queue of a thread that has one and has not ended; null otherwise.
std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId);

// Hands `work` to `target` and waits for it, handling work handed to this thread meanwhile.
// Returns nullopt when the target thread has ended (the work did not run). Rethrows what the
// work threw.
std::optional<LRESULT> RunOnThread(const std::shared_ptr<ThreadQueue>& target, std::function<LRESULT()> work);

// Depth of cross-thread work the calling thread is running now (InSendMessage).
int SentWorkDepth();

DWORD TickCount();

} // namespace platform
