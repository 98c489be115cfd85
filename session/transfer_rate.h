// The speed of a transfer and the time it has left, for the teacher: a rate smoothed over
// samples about a second apart, so that it neither jumps with each block nor lags for long.
#pragma once

#include <cstdint>
#include <optional>

class TransferRate {
public:
    // How far apart the samples are, and how much of the smoothed rate a new sample makes.
    static constexpr double kSampleSeconds = 1.0;
    static constexpr double kSmoothing = 0.3;

    // `done` bytes at `seconds` (any steady clock). Nothing is learnt from samples closer than
    // kSampleSeconds to the one before; a count that goes back starts again from it.
    void Sample(double seconds, std::uint64_t done);
    // Bytes per second; nullopt until two samples kSampleSeconds apart are in.
    std::optional<double> BytesPerSecond() const { return m_rate; }
    // Whole seconds until `total` is done at the present rate (at least 1 while anything is
    // left); nullopt while the rate is unknown or 0.
    std::optional<std::uint64_t> SecondsLeft(std::uint64_t done, std::uint64_t total) const;

private:
    std::optional<double> m_lastSeconds;
    std::uint64_t m_lastDone = 0;
    std::optional<double> m_rate;
};
