#include "download_window/progress_relay.h"

#include "extraction/extract_progress.h"
#include "extraction/whole_percent.h"
#include "session/download_progress.h"
#include "ui/user_texts.h"

std::wstring ProgressStatusText(const ProgressValue& value)
{
    if (value.phase == ProgressPhase::Download)
        return FormatDownloadStatus(WholePercent(value.percent));
    if (value.phase == ProgressPhase::Retry)
        return text::DownloadRetryStatus(value.attempt, value.waitSeconds);
    if (value.phase == ProgressPhase::Waiting)
        return text::kWaitingForServer;
    if (value.phase == ProgressPhase::Verify)
        return FormatVerifyStatus(value.percent);
    return FormatExtractStatus(value.percent);
}

int ProgressBarValue(const ProgressValue& value) { return WholePercent(value.percent); }

ProgressRelay::Published ProgressRelay::Publish(const ProgressValue& value)
{
    const int whole = ProgressBarValue(value);
    std::lock_guard lock(m_mutex);
    Published result;
    result.newWholePercent =
        !m_lastWhole || *m_lastWhole != whole || m_lastPhase != value.phase || value.phase == ProgressPhase::Retry;
    if (result.newWholePercent) {
        std::wstring line = ProgressStatusText(value);
        result.newWholePercent = line != m_lastLine;
        m_lastLine = std::move(line);
    }
    m_lastWhole = whole;
    m_lastPhase = value.phase;
    m_latest = value;
    m_fresh = true;
    result.wakeUi = !m_wakePending;
    m_wakePending = true;
    return result;
}

std::optional<ProgressValue> ProgressRelay::Take()
{
    std::lock_guard lock(m_mutex);
    m_wakePending = false;
    if (!m_fresh)
        return std::nullopt;
    m_fresh = false;
    return m_latest;
}

DWORD ProgressPacer::DelayAt(DWORD now) const
{
    if (!m_lastShown)
        return 0;
    const DWORD elapsed = now - *m_lastShown; // tick counts wrap; the difference does not
    return elapsed >= m_intervalMs ? 0 : m_intervalMs - elapsed;
}
