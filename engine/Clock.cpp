#include "Clock.h"

#include <algorithm>
#include <cmath>

TClock::TClock(bool createSuspended, Poster post, TickSource& source, BeatOutput* output)
    : TThread(true, std::move(post), source), FOutput(output)
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
    if (bpm == FTempoValue.load()) {
        return;
    }
    // The beat already decided keeps its place; it is decided again under the new tempo, which
    // applies from the interval after it.
    FBriefSuspend = true;
    Suspend();
    FBriefSuspend = false;
    {
        std::lock_guard lock(FMutex);
        SetTempoLocked(bpm);
    }
    Resume();
}

void TClock::SetTempoLocked(int bpm)
{
    FSequence.SetTempo(bpm);
    PublishTempo();
}

void TClock::PublishTempo()
{
    FTempoValue = FSequence.Tempo();
    FIntervalValue = 60000 / FSequence.Tempo();
}

void TClock::SetInterval(int ms)
{
    if (ms == FIntervalValue.load()) {
        return;
    }
    FBriefSuspend = true;
    Suspend();
    FBriefSuspend = false;
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

void TClock::SetSettings(const BeatSettings& settings)
{
    std::lock_guard lock(FMutex);
    FSettings = settings;
}

void TClock::ResetBar()
{
    std::lock_guard lock(FMutex);
    FSequence.ResetBar();
}

void TClock::ArmCountIn()
{
    std::lock_guard lock(FMutex);
    FSequence.ArmCountIn();
}

void TClock::ReportBar(bool clean)
{
    std::lock_guard lock(FMutex);
    FSequence.ReportBar(clean);
    // A beat decided but withdrawn later goes back to the state before it: with the verdict.
    if (FPending) {
        BeatSequence::ReportBar(FPending->FBefore, clean);
    }
}

void TClock::EndDrift()
{
    std::lock_guard lock(FMutex);
    if (FSequence.Drummer()) {
        FSequence.SetDrummer(false);
        SetTempoLocked(FSequence.Tempo() - 10);
    }
}

BeatDecision TClock::DecideNow()
{
    std::lock_guard lock(FMutex);
    const BeatDecision beat = FSequence.Decide(FSettings);
    PublishTempo();
    return beat;
}

BeatSequence::State TClock::SequenceState() const
{
    std::lock_guard lock(FMutex);
    return FSequence.Snapshot();
}

bool TClock::Withdrawn(std::uint64_t id) const
{
    std::lock_guard lock(FMutex);
    return std::find(FWithdrawnIds.begin(), FWithdrawnIds.end(), id) != FWithdrawnIds.end();
}

void TClock::OnSuspend()
{
    std::lock_guard lock(FMutex);
    if (FPending && FPending->FSubsHeard > 0) {
        // The beat is heard; Stop and the dialog silence the rest of its subdivisions, while a
        // new tempo, applying from the next interval, lets them sound.
        if (!FBriefSuspend) {
            if (FOutput) {
                FOutput->WithdrawSubdivisions(FPending->FBeat, FPending->FSubsHeard);
            }
            FPending.reset();
        }
        return;
    }
    if (!FPending || !FPending->FWithdrawable) {
        return;
    }
    // Too close to its play time, or its sound already with the server: it is heard and stays.
    if (FPending->FPlayUs - FSource.NowUs() < MinLeadUs) {
        return;
    }
    if (FOutput && !FOutput->Withdraw(FPending->FBeat)) {
        FPending->FWithdrawable = false;
        return;
    }
    FSequence.Restore(FPending->FBefore);
    PublishTempo();
    FGrid = FPending->FGridBefore;
    FWithdrawnIds[FWithdrawnNext] = FPending->FBeat.FId;
    FWithdrawnNext = (FWithdrawnNext + 1) % FWithdrawnIds.size();
    FPending.reset();
    FWithdrawals.fetch_add(1);
    Wake();
}

void TClock::FollowStream(std::int64_t now)
{
    Grid& g = FGrid;
    std::uint64_t generation = 0;
    const int rate = FOutput ? FOutput->StreamRate(generation) : 0;
    if (rate <= 0) {
        g.FOnFrames = false;
        return;
    }
    if (!g.FOnFrames || generation != g.FGeneration) {
        // A stream opened (or replaced after a lost server): the grid moves onto its frames
        // from the next beat's time on.
        double frame = 0;
        if (!FOutput->FrameAt(std::max(g.FNextUs, now), frame)) {
            g.FOnFrames = false;
            return;
        }
        g.FOnFrames = true;
        g.FNextFrame = frame;
        g.FGeneration = generation;
        g.FRate = rate;
    }
    std::int64_t us = 0;
    if (FOutput->TimeAt(g.FNextFrame, us)) {
        g.FNextUs = us;
    }
}

void TClock::AdvanceGrid()
{
    const int interval = FIntervalValue.load();
    FGrid.FNextUs += static_cast<std::int64_t>(interval) * 1000;
    if (FGrid.FOnFrames) {
        // In frames, with the fraction carried: 288 ms at 44.1 kHz is 12700.8 frames.
        FGrid.FNextFrame += static_cast<double>(interval) * FGrid.FRate / 1000.0;
    }
}

std::int64_t TClock::NextHeardUs() const
{
    const Pending& p = *FPending;
    return p.FPlayUs + p.FBeat.FSpanUs * p.FSubsHeard / p.FBeat.FSubdivision;
}

void TClock::DoTick(const BeatDecision& beat, std::int64_t playUs)
{
    // Detached while the beat was on its way (the window is closing): nothing to do.
    if (FOnTick && !Withdrawn(beat.FId)) {
        FOnTick(*this, beat, playUs);
    }
}

void TClock::Execute()
{
    // Whether the thread was stopped since its last beat: a beat that then comes too late to be
    // placed on the grid is a Start after a stop, not a beat held up.
    bool interrupted = true;
    while (!Terminated()) {
        ParkWhileSuspended();
        if (Terminated()) {
            return;
        }
        std::int64_t heardAt = -1;
        const std::uint64_t withdrawals = FWithdrawals.load();
        {
            std::lock_guard lock(FMutex);
            if (FPending) {
                heardAt = NextHeardUs() - HeardEarlyUs;
            }
        }
        if (heardAt >= 0) {
            // A brief suspension (a new tempo) may withdraw the beat without this wait seeing it
            // suspended: it must then decide the beat again at once, not wait for its play time.
            if (!WaitUntilUs(heardAt, [&] { return FWithdrawals.load() != withdrawals; })) {
                interrupted = true;
                continue;
            }
            std::lock_guard lock(FMutex);
            if (FPending) {
                Pending& p = *FPending;
                if (FOutput) {
                    if (p.FSubsHeard == 0) {
                        FOutput->Heard(p.FBeat);
                    } else {
                        FOutput->HeardSubdivision(p.FBeat, p.FSubsHeard);
                    }
                }
                // Its subdivisions come before the next beat is decided: at 218 BPM a quarter of
                // the interval is longer than the look-ahead.
                if (++p.FSubsHeard >= p.FBeat.FSubdivision) {
                    FPending.reset();
                }
            }
            continue;
        }

        std::int64_t decideAt = 0;
        {
            std::lock_guard lock(FMutex);
            const std::int64_t now = FSource.NowUs();
            if (!FGrid.FValid) {
                // The first Start: the first beat one interval later.
                FGrid = Grid{};
                FGrid.FValid = true;
                FGrid.FNextUs = now + static_cast<std::int64_t>(FIntervalValue.load()) * 1000;
            }
            FollowStream(now);
            if (FGrid.FNextUs < now + MinLeadUs) {
                // Stopped for longer than an interval (or held up): the next beat at once, and
                // the grid goes on from there.
                if (!interrupted) {
                    FRegrids.fetch_add(1);
                }
                FGrid.FNextUs = now + LookAheadUs;
                FGrid.FOnFrames = false;
                FollowStream(now);
            }
            decideAt = FGrid.FNextUs - LookAheadUs;
        }
        if (!WaitUntilUs(decideAt)) {
            interrupted = true;
            continue;
        }

        std::lock_guard lock(FMutex);
        if (SuspendCount() > 0 || Terminated()) {
            continue;
        }
        const std::int64_t now = FSource.NowUs();
        FollowStream(now);
        if (FGrid.FNextUs < now + MinLeadUs) {
            continue; // the stream's timing moved it into the past: placed afresh above
        }
        Pending p;
        p.FBefore = FSequence.Snapshot();
        p.FGridBefore = FGrid;
        p.FBeat = FSequence.Decide(FSettings);
        p.FPlayUs = FGrid.FNextUs;
        const std::int64_t frame = FGrid.FOnFrames ? std::llround(FGrid.FNextFrame) : BeatOutput::NoFrame;
        // The drift and the trainer may have moved the tempo: it applies from the interval after
        // this beat, which is the one its subdivisions divide.
        PublishTempo();
        const int interval = FIntervalValue.load();
        p.FBeat.FFrame = FGrid.FNextFrame;
        p.FBeat.FSpanUs = static_cast<std::int64_t>(interval) * 1000;
        p.FBeat.FSpanFrames = FGrid.FOnFrames ? static_cast<double>(interval) * FGrid.FRate / 1000.0 : 0;
        AdvanceGrid();
        if (FOutput) {
            FOutput->Sound(p.FBeat, frame);
        }
        if (FHasOnTick.load()) {
            Post([this, beat = p.FBeat, playUs = p.FPlayUs] { DoTick(beat, playUs); });
        }
        FPending = std::move(p);
        interrupted = false;
    }
}
