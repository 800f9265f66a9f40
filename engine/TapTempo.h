#pragma once

#include <array>
#include <cstdint>
#include <optional>

// Tap tempo: the tempo of a series of taps, from their own moments (input events' timestamps,
// in milliseconds). From the second tap on, 60000 / the mean of the last intervals (up to 4),
// rounded and brought into 40..208; a pause longer than 2 s starts a new series.
class TapTempo final
{
public:
    std::optional<int> Tap(std::int64_t ms);

private:
    static constexpr int kIntervals = 4;
    std::array<std::int64_t, kIntervals + 1> FTaps{};
    int FCount = 0; // taps of the series kept in FTaps, the newest last
};
