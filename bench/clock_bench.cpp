// The beat clock's own timing: the real clock thread handing ticks to a main-thread queue.
// Prints the tick-to-tick intervals' mean and largest deviation from the set interval.
// Usage: clock_bench [bpm] [ticks]
#include "Clock.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

int main(int argc, char* argv[])
{
    const int bpm = argc > 1 ? std::atoi(argv[1]) : 120;
    const int ticks = argc > 2 ? std::atoi(argv[2]) : 100;

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> calls;
    auto post = [&](std::function<void()> call) {
        {
            std::lock_guard lock(mutex);
            calls.push_back(std::move(call));
        }
        wake.notify_one();
    };

    std::vector<std::int64_t> moments;
    TClock clock(true, post);
    clock.SetTempo(bpm);
    clock.SetOnTick([&](TClock&, std::int64_t moment) { moments.push_back(moment); });
    const int intervalMs = clock.FInterval();
    clock.Resume();
    while (static_cast<int>(moments.size()) < ticks + 1) {
        std::function<void()> call;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return !calls.empty(); });
            call = std::move(calls.front());
            calls.pop_front();
        }
        call();
    }
    clock.Shutdown();

    const double interval = intervalMs * 1000.0;
    double sum = 0;
    double worst = 0;
    std::vector<double> deviations;
    for (std::size_t i = 1; i < moments.size(); ++i) {
        const double gap = static_cast<double>(moments[i] - moments[i - 1]);
        sum += gap;
        deviations.push_back(std::abs(gap - interval));
        worst = std::max(worst, std::abs(gap - interval));
    }
    std::sort(deviations.begin(), deviations.end());
    const double mean = sum / static_cast<double>(moments.size() - 1);
    std::printf("clock at %d BPM, interval %d ms, %d intervals\n", bpm, intervalMs, ticks);
    std::printf("mean interval     %.3f ms (%+.1f us from the set interval)\n", mean / 1000.0,
                mean - interval);
    std::printf("largest deviation %.3f ms\n", worst / 1000.0);
    std::printf("median deviation  %.3f ms\n", deviations[deviations.size() / 2] / 1000.0);
    return 0;
}
