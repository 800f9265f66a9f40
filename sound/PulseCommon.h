#pragma once

// What the sound server's output and input streams share: the clocks their timing is read on,
// and waiting for a context or stream to become ready.

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdint>
#include <ctime>

namespace PulseCommon {

inline std::int64_t NowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// The wall clock minus the monotonic clock, read so tightly that the pair's own gap is below a
// microsecond or two: the server stamps its timing with the wall clock.
inline std::int64_t WallMinusMonotonicUs()
{
    std::int64_t best = 0;
    std::int64_t bestGap = INT64_MAX;
    for (int i = 0; i < 3; ++i) {
        timespec a{}, w{}, b{};
        clock_gettime(CLOCK_MONOTONIC, &a);
        clock_gettime(CLOCK_REALTIME, &w);
        clock_gettime(CLOCK_MONOTONIC, &b);
        const std::int64_t aUs = a.tv_sec * 1'000'000LL + a.tv_nsec / 1000;
        const std::int64_t bUs = b.tv_sec * 1'000'000LL + b.tv_nsec / 1000;
        const std::int64_t wUs = w.tv_sec * 1'000'000LL + w.tv_nsec / 1000;
        if (bUs - aUs < bestGap) {
            bestGap = bUs - aUs;
            best = wUs - (aUs + bUs) / 2;
        }
    }
    return best;
}

// Waits, with the loop's lock held, until a context or stream is ready; false once it failed.
template <typename GetState, typename State, typename IsGood>
bool AwaitReady(pa_threaded_mainloop* loop, GetState state, State ready, IsGood good)
{
    for (;;) {
        const State now = state();
        if (now == ready) {
            return true;
        }
        if (!good(now)) {
            return false;
        }
        pa_threaded_mainloop_wait(loop);
    }
}

// Disconnects and frees a context and then its loop (already stopped); both null afterwards.
inline void Release(pa_context*& context, pa_threaded_mainloop*& loop)
{
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
    }
    if (loop) {
        pa_threaded_mainloop_free(loop);
        loop = nullptr;
    }
}

} // namespace PulseCommon
