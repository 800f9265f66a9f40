#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Where the clock thread reads the time and waits. The real one is the monotonic clock;
// tests inject a fake time line so that every interval is deterministic.
// Called on the clock thread only (NowUs may be called from any thread).
class TickSource
{
public:
    virtual ~TickSource() = default;
    // Monotonic time in microseconds; never wraps in the life of a program.
    virtual std::int64_t NowUs() = 0;
    // Waits up to `us` microseconds, or less when `wake` is notified. `lock` holds the mutex of `wake`.
    virtual void WaitUs(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, std::int64_t us) = 0;
};

// std::chrono::steady_clock: finer than a millisecond, never stalls after hours of pause.
class SteadyTickSource final : public TickSource
{
public:
    std::int64_t NowUs() override;
    void WaitUs(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, std::int64_t us) override;
    static SteadyTickSource& Instance();
};
