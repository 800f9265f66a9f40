#pragma once

#include "Thread.h"

#include <atomic>
#include <cstdint>
#include <functional>

// The beat clock: sleeps three quarters of the interval, busy-waits until just over the
// interval has passed since the previous tick, and hands the tick to the main thread.
// Tempo, interval and the tick event are set on the main thread; Execute runs on the clock thread.
class TClock final : public TThread
{
public:
    // Called on the main thread for each tick, with the moment (µs of the tick source) that ended its wait.
    using TTickEvent = std::function<void(TClock& sender, std::int64_t momentUs)>;

    TClock(bool createSuspended, Poster post, TickSource& source = SteadyTickSource::Instance());
    ~TClock() override;

    void SetTempo(int bpm);
    void SetInterval(int ms);
    int FTempo() const { return FTempoValue; }
    int FInterval() const { return FIntervalValue.load(); }
    void SetOnTick(TTickEvent onTick);
    // The end of the program: suspend, detach the tick event, a 1 ms interval, terminate, then
    // resume until the suspend count is 0 whatever it was, so that the thread sees the request.
    void Shutdown();
    bool HasOnTick() const { return FHasOnTick.load(); }

protected:
    void Execute() override;

private:
    void DoTick(std::int64_t momentUs);

    std::atomic<int> FIntervalValue{0};
    int FTempoValue = 0;
    TTickEvent FOnTick;
    std::atomic<bool> FHasOnTick{false};
};
