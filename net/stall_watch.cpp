#include "net/stall_watch.h"

namespace net {

namespace {

constexpr std::uint64_t kLowSpeedBytesPerSecond = 1024;
constexpr std::chrono::seconds kSampleInterval{1};

} // namespace

StallWatch::StallWatch(std::chrono::seconds firstByteLimit, std::chrono::seconds stallLimit, Clock::time_point start)
    : m_firstByteLimit(firstByteLimit), m_stallLimit(stallLimit), m_start(start)
{
}

StallWatch::State StallWatch::Update(std::uint64_t received, Clock::time_point now)
{
    if (received == 0 && m_samples.empty())
        return now - m_start >= m_firstByteLimit ? State::Stalled : State::Waiting;
    if (m_samples.empty() || now - m_samples.back().time >= kSampleInterval)
        m_samples.push_back({now, received});
    while (m_samples.size() > 1 && now - m_samples[1].time >= m_stallLimit)
        m_samples.pop_front();
    const Sample& oldest = m_samples.front();
    const auto least = kLowSpeedBytesPerSecond * static_cast<std::uint64_t>(m_stallLimit.count());
    return now - oldest.time >= m_stallLimit && received - oldest.received < least ? State::Stalled : State::Receiving;
}

StallWatch::Clock::duration StallWatch::Waited(Clock::time_point now) const
{
    return m_samples.empty() ? now - m_start : Clock::duration::zero();
}

} // namespace net
