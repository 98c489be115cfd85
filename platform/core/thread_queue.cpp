#include "platform/core/thread_queue.h"
#include "platform/core/display.h"
#include "platform/core/immortal.h"
#include "platform/win32_system.h"
#include "platform/core/window_table.h"

#include <algorithm>
#include <map>

namespace platform {
namespace {

// USER_TIMER_MINIMUM on Windows.
constexpr std::chrono::milliseconds kShortestTimer{10};

std::mutex registryMutex;
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
            std::lock_guard lock(registryMutex);
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
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return static_cast<DWORD>(elapsed.count());
}

std::shared_ptr<ThreadQueue> CurrentQueue()
{
    if (!holder.queue) {
        holder.queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
        std::lock_guard lock(registryMutex);
        Registry()[holder.queue->ThreadId()] = holder.queue;
    }
    return holder.queue;
}

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId)
{
    std::lock_guard lock(registryMutex);
    const auto found = Registry().find(threadId);
    return found == Registry().end() ? nullptr : found->second.lock();
}

int SentWorkDepth() { return sentWorkDepth; }

bool ThreadQueue::SignalLocked()
{
    signalled_ = true;
    changed_.notify_all();
    return waitingInDisplay_;
}

void ThreadQueue::Wake()
{
    bool wakeDisplay;
    {
        std::lock_guard lock(mutex_);
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
        std::lock_guard lock(mutex_);
        if (closed_)
            return false;
        posted_.push_back(msg);
    }
    Wake();
    return true;
}

bool ThreadQueue::PostInput(const MSG& msg)
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return false;
        if (msg.message == WM_MOUSEMOVE && !posted_.empty() && posted_.back().message == WM_MOUSEMOVE &&
            posted_.back().hwnd == msg.hwnd)
            posted_.back() = msg;
        else
            posted_.push_back(msg);
    }
    Wake();
    return true;
}

bool ThreadQueue::Submit(const std::shared_ptr<SentTask>& task)
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return false;
        sent_.push_back(task);
    }
    Wake();
    return true;
}

void ThreadQueue::PostQuit(int exitCode)
{
    std::lock_guard lock(mutex_);
    quitPending_ = true;
    quitCode_ = exitCode;
    SignalLocked();
}

bool ThreadQueue::RunSentTasks()
{
    bool any = false;
    for (;;) {
        std::shared_ptr<SentTask> task;
        {
            std::lock_guard lock(mutex_);
            if (sent_.empty())
                return any;
            task = std::move(sent_.front());
            sent_.pop_front();
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
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(posted_.begin(), posted_.end(),
                                    [&](const MSG& m) { return filter.Matches(m.hwnd, m.message); });
    if (found == posted_.end())
        return std::nullopt;
    MSG msg = *found;
    if (remove)
        posted_.erase(found);
    return msg;
}

std::optional<int> ThreadQueue::TakeQuit(const MessageFilter& filter, bool remove)
{
    std::lock_guard lock(mutex_);
    if (!quitPending_ || !filter.Matches(filter.hwnd, WM_QUIT))
        return std::nullopt;
    if (remove)
        quitPending_ = false;
    return quitCode_;
}

UINT_PTR ThreadQueue::SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc)
{
    std::lock_guard lock(mutex_);
    if (!hwnd && id == 0) {
        // Thread timers get ids of their own; skip ids still in use.
        do
            id = nextThreadTimerId_++;
        while (std::any_of(timers_.begin(), timers_.end(), [&](const Timer& t) { return !t.hwnd && t.id == id; }));
    }
    const auto interval = std::max(std::chrono::milliseconds(elapseMs), kShortestTimer);
    Timer timer{hwnd, id, interval, proc, Clock::now() + interval};
    const auto existing =
        std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (existing != timers_.end())
        *existing = timer;
    else
        timers_.push_back(timer);
    SignalLocked();
    // A window timer's result only has to be non-zero; its id stays what the caller chose.
    return hwnd ? std::max<UINT_PTR>(id, 1) : id;
}

bool ThreadQueue::KillTimer(HWND hwnd, UINT_PTR id)
{
    std::lock_guard lock(mutex_);
    const auto before = timers_.size();
    std::erase_if(timers_, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    // A WM_TIMER already taken from the queue is not recalled; none is kept waiting here.
    return timers_.size() != before;
}

void ThreadQueue::KillTimersOf(HWND hwnd)
{
    std::lock_guard lock(mutex_);
    std::erase_if(timers_, [&](const Timer& t) { return t.hwnd == hwnd; });
}

std::optional<MSG> ThreadQueue::TakeDueTimer(const MessageFilter& filter, bool remove, Clock::time_point now)
{
    std::lock_guard lock(mutex_);
    Timer* due = nullptr;
    for (Timer& timer : timers_)
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
    std::lock_guard lock(mutex_);
    std::optional<Clock::time_point> next;
    for (const Timer& timer : timers_)
        if (!next || timer.due < *next)
            next = timer.due;
    return next;
}

void ThreadQueue::BeginScan()
{
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

void ThreadQueue::Wait(std::optional<Clock::time_point> deadline)
{
    const auto display = CurrentDisplay();
    if (display->IsEventThread(threadId_)) {
        std::optional<std::chrono::milliseconds> timeout;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0)
                return;
            timeout = left;
        }
        {
            std::lock_guard lock(mutex_);
            if (signalled_)
                return;
            waitingInDisplay_ = true;
        }
        display->WaitForEvents(timeout);
        std::lock_guard lock(mutex_);
        waitingInDisplay_ = false;
        return;
    }
    std::unique_lock lock(mutex_);
    if (deadline)
        changed_.wait_until(lock, *deadline, [&] { return signalled_; });
    else
        changed_.wait(lock, [&] { return signalled_; });
}

bool ThreadQueue::IsDone(const SentTask& task)
{
    std::lock_guard lock(mutex_);
    return task.done;
}

void ThreadQueue::Complete(const std::shared_ptr<SentTask>& task)
{
    {
        std::lock_guard lock(mutex_);
        task->done = true;
    }
    Wake();
}

void ThreadQueue::Close()
{
    std::deque<std::shared_ptr<SentTask>> abandoned;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        abandoned.swap(sent_);
        posted_.clear();
        timers_.clear();
    }
    for (const auto& task : abandoned)
        task->sender->Complete(task);
}

bool ThreadQueue::IsClosed()
{
    std::lock_guard lock(mutex_);
    return closed_;
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
