#include "install/install_job.h"

#include "install/install_worker.h"
#include "platform/win32_window.h"

#include <algorithm>
#include <vector>

namespace {

struct JobRegistry {
    std::mutex mutex;
    std::vector<std::shared_ptr<InstallJob>> jobs;
};

JobRegistry& Registry()
{
    static JobRegistry registry;
    return registry;
}

} // namespace

void InstallJob::RequestStop()
{
    {
        // Taken so that a Post under way finishes before this returns.
        std::lock_guard lock(m_mutex);
        m_stop.store(true, std::memory_order_release);
    }
    m_changed.notify_all();
}

bool InstallJob::Pause(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, duration, [this] { return StopRequested(); });
}

bool InstallJob::Post(std::initializer_list<QueuedMessage> messages)
{
    std::lock_guard lock(m_mutex);
    if (StopRequested())
        return false;
    bool posted = true;
    for (const QueuedMessage& m : messages)
        posted = PostMessageW(m.hwnd, m.message, m.wParam, m.lParam) != FALSE && posted;
    return posted;
}

void InstallJob::MarkEnded()
{
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
    }
    m_changed.notify_all();
}

bool InstallJob::Ended() const
{
    std::lock_guard lock(m_mutex);
    return m_ended;
}

bool InstallJob::WaitForEnd(std::chrono::milliseconds limit) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_ended; });
}

void TrackInstallJob(std::shared_ptr<InstallJob> job)
{
    JobRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    std::erase_if(registry.jobs, [](const std::shared_ptr<InstallJob>& j) { return j->Ended(); });
    registry.jobs.push_back(std::move(job));
}

bool StopInstallWorker(std::chrono::milliseconds wait)
{
    JobRegistry& registry = Registry();
    std::vector<std::shared_ptr<InstallJob>> jobs;
    {
        std::lock_guard lock(registry.mutex);
        jobs = registry.jobs;
    }
    for (const auto& job : jobs)
        job->RequestStop();

    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool allEnded = true;
    for (const auto& job : jobs) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        allEnded = job->WaitForEnd(std::max(left, std::chrono::milliseconds(0))) && allEnded;
    }

    std::lock_guard lock(registry.mutex);
    std::erase_if(registry.jobs, [](const std::shared_ptr<InstallJob>& j) { return j->Ended(); });
    return allEnded;
}
