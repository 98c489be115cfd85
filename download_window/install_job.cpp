#include "download_window/install_job.h"

#include "download_window/worker_messages.h"
#include "platform/win32_window.h"
#include "ui/user_texts.h"

#include <chrono>

void InstallJob::RequestStop()
{
    {
        // Taken so that a Post under way finishes before this returns.
        std::lock_guard lock(m_mutex);
        m_stop.store(true, std::memory_order_release);
    }
    m_changed.notify_all();
    m_stopSource.request_stop();
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

void InstallJob::WaitForEnd() const
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_ended; });
}

void InstallJob::PublishProgress(const ProgressValue& value)
{
    const ProgressRelay::Published published = m_progress.Publish(value);
    if (m_statusLines) {
        std::wstring figures;
        {
            const std::lock_guard lock(m_lineDetailMutex);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
            m_lineDetail.Line(value, seconds);
            figures = m_lineDetail.Figures();
        }
        if (published.newWholePercent)
            m_statusLines(figures.empty() ? ProgressStatusText(value)
                                          : ProgressStatusText(value) + text::kDetailSeparator + figures);
    }
    if (published.wakeUi)
        Post({{m_window, WM_INSTALL_PROGRESS, 0, 0}});
}
