// The timing coach's listening core on synthetic takes: for each onset method of aubio the hits
// found, missed and false and the error of the placed attacks; then the whole coach as the program
// runs it (the clicks heard in the input and taken out) with its detection error per kind of
// attack (p50, p99, worst), false and missed hits, and the CPU it takes per second of input.
// Usage: coach_bench [takes]
#include "HitDetector.h"
#include "SyntheticTake.h"
#include "TimingCoach.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

namespace {

using SyntheticTake::Attack;
constexpr std::int64_t kInterval = 24000; // 120 BPM at 48 kHz
constexpr std::int64_t kFirst = 12000;
constexpr std::int64_t kDelay = 1234;

struct Planned
{
    double FFrame;
    double FOffsetMs;
    Attack FAttack;
};

// One take: clicks on 60 beats, the input hearing them at `clickGain` plus a hit on every other
// beat at a random offset within ±40 ms (a quarter of them on the click: within ±3 ms, quieter),
// random attack and level, over noise.
struct Take
{
    std::vector<float> FOutput;
    std::vector<float> FInput;
    std::vector<Planned> FPlanned;
    explicit Take(unsigned seed, double clickGain)
    {
        std::mt19937 random(seed);
        const int beats = 60;
        FOutput.assign(static_cast<std::size_t>(kFirst + (beats + 2) * kInterval), 0.0f);
        for (int k = 0; k < beats; ++k) {
            SyntheticTake::AddToneClick(FOutput, kFirst + k * kInterval, 0.25f);
        }
        FInput.assign(FOutput.size(), 0.0f);
        for (std::size_t i = static_cast<std::size_t>(kDelay); i < FOutput.size(); ++i) {
            FInput[i] = static_cast<float>(clickGain) * FOutput[i - static_cast<std::size_t>(kDelay)];
        }
        std::uniform_real_distribution<double> offset(-40, 40), near(-3, 3), level(0.08, 0.5);
        for (int k = 2; k < beats - 1; k += 2) {
            const bool onClick = random() % 4 == 0;
            const double ms = onClick ? near(random) : offset(random);
            const Attack attack = random() % 2 ? Attack::Drum : Attack::Guitar;
            const auto at = kFirst + k * kInterval + kDelay + std::llround(ms * 48.0);
            SyntheticTake::AddHit(FInput, at, attack, static_cast<float>(onClick ? 0.1 : level(random)), random());
            FPlanned.push_back({static_cast<double>(at - kDelay), static_cast<double>(at - kDelay - (kFirst + k * kInterval)) / 48.0, attack});
        }
        SyntheticTake::AddNoise(FInput, 0.002f, random());
    }
};

double Quantile(std::vector<double> v, double q)
{
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(std::min<double>(v.size() - 1, std::floor(q * static_cast<double>(v.size()))))];
}

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    const int takes = argc > 1 ? std::atoi(argv[1]) : 10;
    std::vector<Take> set;
    for (int t = 0; t < takes; ++t) {
        set.emplace_back(static_cast<unsigned>(t + 1), 0.6);
    }

    std::printf("## Onset methods (hits alone, no clicks), %d takes\n\n", takes);
    std::printf("| method | threshold | found / played | false | drum worst (ms) | guitar worst (ms) |\n|---|---|---|---|---|---|\n");
    for (const char* method : {"energy", "hfc", "complex", "specflux", "kl"}) {
        for (float threshold : {0.3f, 0.5f}) {
            int found = 0, played = 0, extra = 0;
            double drum = 0, guitar = 0;
            for (const Take& take : set) {
                // The hits alone: the input less the clicks it hears.
                std::vector<float> hits = take.FInput;
                for (std::size_t i = static_cast<std::size_t>(kDelay); i < hits.size(); ++i) {
                    hits[i] -= 0.6f * take.FOutput[i - static_cast<std::size_t>(kDelay)];
                }
                HitDetector detector(48000, method, threshold);
                std::vector<HitDetector::Hit> got;
                for (std::size_t f = 0; f < hits.size(); f += 256) {
                    detector.Process(static_cast<std::int64_t>(f), hits.data() + f,
                                     static_cast<int>(std::min<std::size_t>(256, hits.size() - f)), got);
                }
                played += static_cast<int>(take.FPlanned.size());
                for (const HitDetector::Hit& h : got) {
                    bool matched = false;
                    for (const Planned& p : take.FPlanned) {
                        const double e = std::abs(h.FFrame - kDelay - p.FFrame) / 48.0;
                        if (e < 10) {
                            matched = true;
                            (p.FAttack == Attack::Drum ? drum : guitar) = std::max(p.FAttack == Attack::Drum ? drum : guitar, e);
                        }
                    }
                    matched ? ++found : ++extra;
                }
            }
            std::printf("| %s | %.1f | %d / %d | %d | %.2f | %.2f |\n", method, threshold, found, played, extra, drum, guitar);
        }
    }

    std::printf("\n## The coach as the program runs it (clicks heard at 0.6 and taken out)\n\n");
    std::vector<double> drumErrors, guitarErrors;
    int missed = 0, extra = 0, played = 0;
    double audioSeconds = 0;
    const double cpu0 = CpuSeconds();
    for (const Take& take : set) {
        TimingCoach coach([&take](std::int64_t from, int frames, float* mono) {
            for (int i = 0; i < frames; ++i) {
                const std::int64_t f = from + i;
                mono[i] = f >= 0 && f < static_cast<std::int64_t>(take.FOutput.size()) ? take.FOutput[static_cast<std::size_t>(f)] : 0.0f;
            }
            return true;
        });
        coach.SetDelay(kDelay + 700);
        std::vector<TimingCoach::Hit> hits;
        std::int64_t nextBeat = 0;
        for (std::size_t f = 0; f < take.FInput.size(); f += 240) {
            while (kFirst + nextBeat * kInterval < static_cast<std::int64_t>(f) + 4800 && nextBeat < 60) {
                TimingCoach::Beat b;
                b.FFrame = static_cast<double>(kFirst + nextBeat * kInterval);
                b.FSpanFrames = kInterval;
                b.FPosition = static_cast<int>(nextBeat % 4);
                b.FTempo = 120;
                coach.AddBeat(b);
                ++nextBeat;
            }
            coach.Input(static_cast<std::int64_t>(f), take.FInput.data() + f,
                        static_cast<int>(std::min<std::size_t>(240, take.FInput.size() - f)), hits);
        }
        audioSeconds += static_cast<double>(take.FInput.size()) / 48000.0;
        played += static_cast<int>(take.FPlanned.size());
        std::vector<bool> used(take.FPlanned.size(), false);
        for (const TimingCoach::Hit& h : hits) {
            bool matched = false;
            for (std::size_t i = 0; i < take.FPlanned.size(); ++i) {
                if (!used[i] && std::abs(h.FOutFrame - take.FPlanned[i].FFrame) < 480) {
                    used[i] = matched = true;
                    const double e = std::abs(h.FOffsetMs - take.FPlanned[i].FOffsetMs);
                    (take.FPlanned[i].FAttack == Attack::Drum ? drumErrors : guitarErrors).push_back(e);
                    break;
                }
            }
            extra += matched ? 0 : 1;
        }
        missed += static_cast<int>(std::count(used.begin(), used.end(), false));
    }
    const double cpu = CpuSeconds() - cpu0;
    std::printf("| attack | hits | error p50 (ms) | p99 | worst |\n|---|---|---|---|---|\n");
    std::printf("| drum-like | %zu | %.3f | %.3f | %.3f |\n", drumErrors.size(), Quantile(drumErrors, 0.5),
                Quantile(drumErrors, 0.99), drumErrors.empty() ? NAN : *std::max_element(drumErrors.begin(), drumErrors.end()));
    std::printf("| guitar-like | %zu | %.3f | %.3f | %.3f |\n", guitarErrors.size(), Quantile(guitarErrors, 0.5),
                Quantile(guitarErrors, 0.99), guitarErrors.empty() ? NAN : *std::max_element(guitarErrors.begin(), guitarErrors.end()));
    std::printf("\nplayed %d, missed %d, false (clicks or noise counted) %d\n", played, missed, extra);
    std::printf("CPU of the listening core: %.2f %% of a core (%.2f s for %.0f s of input)\n", 100.0 * cpu / audioSeconds,
                cpu, audioSeconds);
    return 0;
}
