// Tells a request that is slow but alive from one that has stalled: the answer may keep its first
// byte back for the first-byte limit (a caching mirror filling its cache), and once its body
// flows it stalls when less than 1 KiB a second arrives on average for the stall limit.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

namespace net {

class StallWatch {
public:
    using Clock = std::chrono::steady_clock;
    enum class State { Waiting, Receiving, Stalled };

    StallWatch(std::chrono::seconds firstByteLimit, std::chrono::seconds stallLimit, Clock::time_point start);

    // `received`: the body bytes this request has received so far.
    State Update(std::uint64_t received, Clock::time_point now);
    // How long the request has waited for its first byte (zero once one came).
    Clock::duration Waited(Clock::time_point now) const;

private:
    struct Sample {
        Clock::time_point time;
        std::uint64_t received;
    };
    std::chrono::seconds m_firstByteLimit;
    std::chrono::seconds m_stallLimit;
    Clock::time_point m_start;
    std::deque<Sample> m_samples; // about one a second, the oldest one the stall limit back
};

} // namespace net
