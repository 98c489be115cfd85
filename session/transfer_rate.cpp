#include "session/transfer_rate.h"

#include <algorithm>
#include <cmath>

void TransferRate::Sample(double seconds, std::uint64_t done)
{
    if (m_lastSeconds && (done < m_lastDone || seconds < *m_lastSeconds)) {
        m_lastSeconds.reset();
        m_rate.reset();
    }
    if (!m_lastSeconds) {
        m_lastSeconds = seconds;
        m_lastDone = done;
        return;
    }
    const double elapsed = seconds - *m_lastSeconds;
    if (elapsed < kSampleSeconds)
        return;
    const double now = static_cast<double>(done - m_lastDone) / elapsed;
    m_rate = m_rate ? kSmoothing * now + (1.0 - kSmoothing) * *m_rate : now;
    m_lastSeconds = seconds;
    m_lastDone = done;
}

std::optional<std::uint64_t> TransferRate::SecondsLeft(std::uint64_t done, std::uint64_t total) const
{
    if (!m_rate || *m_rate <= 0.0)
        return std::nullopt;
    if (done >= total)
        return 0;
    return static_cast<std::uint64_t>(std::max(1.0, std::ceil(static_cast<double>(total - done) / *m_rate)));
}
