// Reads the recording of a long run of the real program and prints what the listener got: the
// clicks, their spacing, and the gaps where a click is missing or the stream stalled.
// Usage: long_run <recording.wav> <interval ms> [threshold]
#include "SoundAnalysis.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: long_run <recording.wav> <interval ms> [threshold]\n");
        return 2;
    }
    const Recording r = ReadRecording(QString::fromLocal8Bit(argv[1]));
    const double intervalMs = std::atof(argv[2]);
    const double threshold = argc > 3 ? std::atof(argv[3]) : 0.05;
    if (r.FRate <= 0 || intervalMs <= 0) {
        std::fprintf(stderr, "long_run: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<Onset> onsets = FindOnsets(r, threshold);
    const double seconds = static_cast<double>(r.FSamples.size()) / r.FRate;
    std::printf("recording: %.1f s at %d Hz, %zu clicks\n", seconds, r.FRate, onsets.size());
    if (onsets.size() < 2) {
        return 1;
    }

    // Spacing of consecutive clicks against the clock's interval.
    std::vector<double> deviations;
    int gaps = 0;
    int missing = 0;
    double longest = 0;
    for (std::size_t i = 1; i < onsets.size(); ++i) {
        const double ms = (onsets[i].FFrame - onsets[i - 1].FFrame) * 1000.0 / r.FRate;
        longest = std::max(longest, ms);
        if (ms > 1.5 * intervalMs) {
            ++gaps;
            missing += static_cast<int>(std::lround(ms / intervalMs)) - 1;
        } else {
            deviations.push_back(ms - intervalMs);
        }
    }
    std::vector<double> sorted = deviations;
    std::sort(sorted.begin(), sorted.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
    const auto at = [&](double q) {
        return sorted.empty() ? 0.0 : std::abs(sorted[static_cast<std::size_t>(q * (sorted.size() - 1))]);
    };
    double mean = 0;
    for (double d : deviations) {
        mean += d;
    }
    mean = deviations.empty() ? 0 : mean / static_cast<double>(deviations.size());
    const double span = (onsets.back().FFrame - onsets.front().FFrame) * 1000.0 / r.FRate;
    std::printf("first to last click: %.1f s, %zu clicks, expected %.0f at %.0f ms\n", span / 1000.0,
                onsets.size(), span / intervalMs + 1, intervalMs);
    std::printf("spacing deviation: mean %+.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms\n", mean, at(0.5),
                at(0.99), sorted.empty() ? 0.0 : std::abs(sorted.back()));
    std::printf("gaps (spacing > 1.5 intervals): %d, clicks missing in them: %d, longest spacing %.1f ms\n",
                gaps, missing, longest);
    // The beat is laid in samples: every interval should be the interval's samples exactly.
    const double samples = intervalMs * r.FRate / 1000.0;
    int off = 0;
    double worst = 0;
    for (std::size_t i = 1; i < onsets.size(); ++i) {
        const double d = onsets[i].FFrame - onsets[i - 1].FFrame - samples;
        if (std::abs(d) < samples / 2) {
            worst = std::max(worst, std::abs(d));
            if (std::abs(d) > 1.0) {
                // Where, so that two recordings of the same run can be compared click by click.
                if (++off <= 20) {
                    std::printf("  interval %zu (clicks %zu-%zu): %+.0f samples\n", i, i - 1, i, d);
                }
            }
        }
    }
    std::printf("intervals more than 1 sample off %.0f samples: %d, the worst %.3f samples\n", samples, off,
                worst);
    return 0;
}
