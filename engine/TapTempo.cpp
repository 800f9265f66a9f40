#include "TapTempo.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr std::int64_t kPauseMs = 2000;
constexpr int kMinTempo = 40;
constexpr int kMaxTempo = 208;
} // namespace

std::optional<int> TapTempo::Tap(std::int64_t ms)
{
    if (FCount > 0) {
        const std::int64_t since = ms - FTaps[static_cast<std::size_t>(FCount - 1)];
        if (since <= 0) {
            // The same moment again (two ways of tapping at once) adds nothing; a moment before
            // the last one can only come from another clock: start afresh.
            if (since < 0) {
                FCount = 0;
            } else {
                return std::nullopt;
            }
        } else if (since > kPauseMs) {
            FCount = 0;
        }
    }
    if (FCount == kIntervals + 1) {
        std::copy(FTaps.begin() + 1, FTaps.end(), FTaps.begin());
        --FCount;
    }
    FTaps[static_cast<std::size_t>(FCount++)] = ms;
    if (FCount < 2) {
        return std::nullopt;
    }
    const double meanMs = static_cast<double>(FTaps[static_cast<std::size_t>(FCount - 1)] - FTaps[0]) / (FCount - 1);
    const auto tempo = static_cast<int>(std::lround(60000.0 / meanMs));
    return std::clamp(tempo, kMinTempo, kMaxTempo);
}
