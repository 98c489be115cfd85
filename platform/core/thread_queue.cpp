#include "platform/core/thread_queue.h"
#include "platform/core/display.h"
#include "platform/core/immortal.h"
#include "platform/core/window_table.h"
#include "platform/win32_system.h"

#include <algorithm>
#include <map>

namespace platform {
namespace {

// USER_TIMER_MINIMUM on Windows.
constexpr std::chrono::milliseconds kShortestTimer{10};

std::mutex g_registryMutex;
std::map<DWORD, std::weak_ptr<ThreadQueue>>& Registry()
{
    static Immortal<std::map<DWORD, std::weak_ptr<ThreadQueue>>> registry;
    return registry.Get();
}

thread_local int sentWorkDepth = 0;

// Owns the thread's queue; when the thread ends, the queue closes and its windows go.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;

    ~QueueHolder()
    {
        if (!queue)
            return;
        queue->Close();
        {
            std::lock_guard lock(g_registryMutex);
            Registry().erase(queue->ThreadId());
        }
        ForgetWindowsOfThread(queue->ThreadId());
    }
};

thread_local QueueHolder holder;

} // namespace

DWORD TickCount()
{
    static const auto start = std::chrono::steady_clock::now();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return static_cast<DWORD>(elapsed.count());
}

std::shared_ptr<ThreadQueue> CurrentQueue()
{
    if (!holder.queue) {
        holder.queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
        std::lock_guard lock(g_registryMutex);
        Registry()[holder.queue->ThreadId()] = holder.queue;
    }
    return holder.queue;
}

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId)
{
    std::lock_guard lock(g_registryMutex);
    const auto found = Registry().find(threadId);
    return found == Registry().end() ? nullptr : found->second.lock();
}

int SentWorkDepth() { return sentWorkDepth; }

bool ThreadQueue::SignalLocked()
{
    m_signalled = true;
    m_changed.notify_all();
    return m_waitingInDisplay;
}

void ThreadQueue::Wake()
{
    bool wakeDisplay;
    {
        std::lock_guard lock(m_mutex);
        wakeDisplay = SignalLocked();
    }
    // Only a thread blocked in the display's wait needs the display woken; one that has not
    // got there yet sees the signal before it blocks.
    if (wakeDisplay)
        CurrentDisplay()->Wake();
}

bool ThreadQueue::Post(const MSG& msg)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return false;
        m_posted.push_back(msg);
    }
    Wake();
    return true;
}

bool ThreadQueue::PostInput(const MSG& msg)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return false;
        if (msg.message == WM_MOUSEMOVE && !m_posted.empty() && m_posted.back().message == WM_MOUSEMOVE &&
            m_posted.back().hwnd == msg.hwnd)
            m_posted.back() = msg;
        else
            m_posted.push_back(msg);
    }
    Wake();
    return true;
}

bool ThreadQueue::Submit(const std::shared_ptr<SentTask>& task)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return false;
        m_sent.push_back(task);
    }
    Wake();
    return true;
}

void ThreadQueue::PostQuit(int exitCode)
{
    std::lock_guard lock(m_mutex);
    m_quitPending = true;
    m_quitCode = exitCode;
    SignalLocked();
}

bool ThreadQueue::RunSentTasks()
{
    bool any = false;
    for (;;) {
        std::shared_ptr<SentTask> task;
        {
            std::lock_guard lock(m_mutex);
            if (m_sent.empty())
                return any;
            task = std::move(m_sent.front());
            m_sent.pop_front();
        }
        any = true;
        ++sentWorkDepth;
        try {
            task->result = task->work();
        } catch (...) {
            task->error = std::current_exception();
        }
        --sentWorkDepth;
        task->ran = true;
        task->sender->Complete(task);
    }
}

std::optional<MSG> ThreadQueue::TakePosted(const MessageFilter& filter, bool remove)
{
    std::lock_guard lock(m_mutex);
    const auto found =
        std::find_if(m_posted.begin(), m_posted.end(), [&](const MSG& m) { return filter.Matches(m.hwnd, m.message); });
    if (found == m_posted.end())
        return std::nullopt;
    MSG msg = *found;
    if (remove)
        m_posted.erase(found);
    return msg;
}

std::optional<int> ThreadQueue::TakeQuit(const MessageFilter& filter, bool remove)
{
    std::lock_guard lock(m_mutex);
    if (!m_quitPending || !filter.Matches(filter.hwnd, WM_QUIT))
        return std::nullopt;
    if (remove)
        m_quitPending = false;
    return m_quitCode;
}

UINT_PTR ThreadQueue::SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc)
{
    std::lock_guard lock(m_mutex);
    if (!hwnd && id == 0) {
        // Thread timers get ids of their own; skip ids still in use.
        do
            id = m_nextThreadTimerId++;
        while (std::any_of(m_timers.begin(), m_timers.end(), [&](const Timer& t) { return !t.hwnd && t.id == id; }));
    }
    const auto interval = std::max(std::chrono::milliseconds(elapseMs), kShortestTimer);
    Timer timer{hwnd, id, interval, proc, Clock::now() + interval};
    const auto existing =
        std::find_if(m_timers.begin(), m_timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (existing != m_timers.end())
        *existing = timer;
    else
        m_timers.push_back(timer);
    SignalLocked();
    // A window timer's result only has to be non-zero; its id stays what the caller chose.
    return hwnd ? std::max<UINT_PTR>(id, 1) : id;
}

bool ThreadQueue::KillTimer(HWND hwnd, UINT_PTR id)
{
    std::lock_guard lock(m_mutex);
    const auto before = m_timers.size();
    std::erase_if(m_timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    // A WM_TIMER already taken from the queue is not recalled; none is kept waiting here.
    return m_timers.size() != before;
}

void ThreadQueue::KillTimersOf(HWND hwnd)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_timers, [&](const Timer& t) { return t.hwnd == hwnd; });
}

std::optional<MSG> ThreadQueue::TakeDueTimer(const MessageFilter& filter, bool remove, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    Timer* due = nullptr;
    for (Timer& timer : m_timers)
        if (timer.due <= now && filter.Matches(timer.hwnd, WM_TIMER) && (!due || timer.due < due->due))
            due = &timer;
    if (!due)
        return std::nullopt;
    MSG msg;
    msg.hwnd = due->hwnd;
    msg.message = WM_TIMER;
    msg.wParam = due->id;
    msg.lParam = reinterpret_cast<LPARAM>(due->proc);
    msg.time = TickCount();
    if (remove) {
        // The next tick counts from now: a slow handler does not get a burst of late ticks.
        due->due = now + due->interval;
    }
    return msg;
}

std::optional<ThreadQueue::Clock::time_point> ThreadQueue::NextTimerDue() const
{
    std::lock_guard lock(m_mutex);
    std::optional<Clock::time_point> next;
    for (const Timer& timer : m_timers)
        if (!next || timer.due < *next)
            next = timer.due;
    return next;
}

void ThreadQueue::BeginScan()
{
    std::lock_guard lock(m_mutex);
    m_signalled = false;
}

void ThreadQueue::Wait(std::optional<Clock::time_point> deadline)
{
    const auto display = CurrentDisplay();
    if (display->IsEventThread(m_threadId)) {
        std::optional<std::chrono::milliseconds> timeout;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0)
                return;
            timeout = left;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_signalled)
                return;
            m_waitingInDisplay = true;
        }
        display->WaitForEvents(timeout);
        std::lock_guard lock(m_mutex);
        m_waitingInDisplay = false;
        return;
    }
    std::unique_lock lock(m_mutex);
    if (deadline)
        m_changed.wait_until(lock, *deadline, [&] { return m_signalled; });
    else
        m_changed.wait(lock, [&] { return m_signalled; });
}

bool ThreadQueue::IsDone(const SentTask& task)
{
    std::lock_guard lock(m_mutex);
    return task.done;
}

void ThreadQueue::Complete(const std::shared_ptr<SentTask>& task)
{
    {
        std::lock_guard lock(m_mutex);
        task->done = true;
    }
    Wake();
}

void ThreadQueue::Close()
{
    std::deque<std::shared_ptr<SentTask>> abandoned;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        abandoned.swap(m_sent);
        m_posted.clear();
        m_timers.clear();
    }
    for (const auto& task : abandoned)
        task->sender->Complete(task);
}

bool ThreadQueue::IsClosed()
{
    std::lock_guard lock(m_mutex);
    return m_closed;
}

std::optional<LRESULT> RunOnThread(const std::shared_ptr<ThreadQueue>& target, std::function<LRESULT()> work)
{
    const auto self = CurrentQueue();
    auto task = std::make_shared<SentTask>();
    task->work = std::move(work);
    task->sender = self;
    if (!target || !target->Submit(task))
        return std::nullopt;
    for (;;) {
        self->BeginScan();
        if (self->IsDone(*task))
            break;
        if (self->RunSentTasks())
            continue;
        self->Wait(std::nullopt);
    }
    if (task->error)
        std::rethrow_exception(task->error);
    if (!task->ran)
        return std::nullopt;
    return task->result;
}

} // namespace platform
