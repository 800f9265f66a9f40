#include "SyntheticTake.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace SyntheticTake {

namespace {
constexpr double kRate = 48000.0;
constexpr double kPi = 3.14159265358979323846;
} // namespace

void AddHit(std::vector<float>& signal, std::int64_t frame, Attack attack, float level, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> white(-1.0f, 1.0f);
    const auto length = static_cast<std::int64_t>(attack == Attack::Drum ? 0.25 * kRate : 0.6 * kRate);
    for (std::int64_t i = 0; i < length && frame + i < static_cast<std::int64_t>(signal.size()); ++i) {
        if (frame + i < 0) {
            continue;
        }
        const double t = static_cast<double>(i) / kRate;
        double v = 0;
        if (attack == Attack::Drum) {
            v = 0.6 * white(random) * std::exp(-t / 0.012) + 0.5 * std::sin(2 * kPi * 180 * t) * std::exp(-t / 0.05);
        } else {
            const double rise = std::min(1.0, t / 0.004);
            for (int h = 1; h <= 6; ++h) {
                v += std::sin(2 * kPi * 196 * h * t) / h;
            }
            v *= 0.45 * rise * std::exp(-t / 0.3);
        }
        signal[static_cast<std::size_t>(frame + i)] += static_cast<float>(level * v);
    }
}

void AddNoise(std::vector<float>& signal, float rms, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<float> gauss(0.0f, rms);
    for (float& s : signal) {
        s += gauss(random);
    }
}

void AddToneClick(std::vector<float>& signal, std::int64_t frame, float level)
{
    const auto length = static_cast<std::int64_t>(0.05 * kRate);
    const double edge = 0.0015 * kRate;
    for (std::int64_t i = 0; i < length && frame + i < static_cast<std::int64_t>(signal.size()); ++i) {
        const double rise = std::min(1.0, (i + 0.5) / edge);
        const double fall = std::min(1.0, (length - i - 0.5) / edge);
        const double phase = i * 440.0 / kRate;
        const double square = phase - std::floor(phase) < 0.5 ? 1.0 : -1.0;
        signal[static_cast<std::size_t>(frame + i)] += static_cast<float>(level * square * std::min(rise, fall));
    }
}

const char* Name(Attack attack)
{
    return attack == Attack::Drum ? "drum" : "guitar";
}

} // namespace SyntheticTake
