#include "Clock.h"

TClock::TClock(bool createSuspended, Poster post, TickSource& source)
    : TThread(true, std::move(post), source)
{
    SetTempo(60);
    if (!createSuspended) {
        Resume();
    }
}

TClock::~TClock()
{
    TerminateAndJoin();
}

void TClock::SetTempo(int bpm)
{
    if (bpm == FTempoValue) {
        return;
    }
    FTempoValue = bpm;
    SetInterval(60000 / bpm);
}

void TClock::SetInterval(int ms)
{
    if (ms == FIntervalValue.load()) {
        return;
    }
    Suspend();
    FIntervalValue = ms;
    Resume();
}

void TClock::SetOnTick(TTickEvent onTick)
{
    FOnTick = std::move(onTick);
    FHasOnTick = static_cast<bool>(FOnTick);
}

void TClock::Shutdown()
{
    Suspend();
    SetOnTick(nullptr);
    SetInterval(1);
    Terminate();
    while (Suspended()) {
        Resume();
    }
}

void TClock::DoTick(std::int64_t momentUs)
{
    // Detached while the tick was on its way (the window is closing): nothing to do.
    if (FOnTick) {
        FOnTick(*this, momentUs);
    }
}

void TClock::Execute()
{
    ParkWhileSuspended();
    std::int64_t t0 = FSource.NowUs();
    while (!Terminated()) {
        SleepUs(static_cast<std::int64_t>(FIntervalValue.load() * 3 / 4) * 1000);
        std::int64_t t;
        for (;;) {
            ParkWhileSuspended();
            if (Terminated()) {
                return;
            }
            t = FSource.NowUs();
            // Strictly greater: an elapsed time equal to the interval keeps waiting.
            if (t - t0 > static_cast<std::int64_t>(FIntervalValue.load()) * 1000) {
                break;
            }
        }
        // Lateness is never made up: the next interval counts from this reading.
        t0 = t;
        if (FHasOnTick.load()) {
            Synchronize([this, t] { DoTick(t); });
        }
    }
}
