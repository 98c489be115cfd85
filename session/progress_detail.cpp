#include "session/progress_detail.h"

#include "ui/user_texts.h"

int ProgressStepOf(ProgressPhase phase)
{
    switch (phase) {
    case ProgressPhase::Extract:
        return 2;
    case ProgressPhase::Verify:
        return 3;
    case ProgressPhase::Download:
    case ProgressPhase::Retry:
    case ProgressPhase::Waiting:
        break;
    }
    return 1;
}

const wchar_t* ProgressPhaseName(ProgressPhase phase)
{
    switch (ProgressStepOf(phase)) {
    case 2:
        return text::kPhaseWrite;
    case 3:
        return text::kPhaseVerify;
    default:
        return text::kPhaseDownload;
    }
}

const std::wstring& ProgressDetail::Line(const ProgressValue& value, double seconds)
{
    const int step = ProgressStepOf(value.phase);
    // No bytes come while the download waits to try again or for the server's first byte.
    const bool retry = value.phase == ProgressPhase::Retry || value.phase == ProgressPhase::Waiting;
    // A new phase, and a download that goes on after a wait, measure their rate afresh.
    const bool fresh = step != m_step || retry != m_retry;
    if (fresh)
        m_rate = TransferRate();
    m_step = step;
    m_retry = retry;
    const auto before = m_rate.BytesPerSecond();
    if (!retry && value.total > 0)
        m_rate.Sample(seconds, value.done);
    const auto rate = m_rate.BytesPerSecond();
    if (!fresh && rate == before)
        return m_line;
    m_figures.clear();
    // A phase at its end has nothing left to tell.
    if (rate && value.done < value.total) {
        m_figures = text::TransferSpeed(*rate);
        if (const auto left = m_rate.SecondsLeft(value.done, value.total); left && *left > 0)
            m_figures += text::kDetailSeparator + text::TimeLeft(*left);
    }
    m_line = text::ProgressStep(step, m_steps);
    if (!m_figures.empty())
        m_line += text::kDetailSeparator + m_figures;
    return m_line;
}

std::wstring ProgressDetail::Figures() const { return m_figures.empty() ? std::wstring() : m_line; }
