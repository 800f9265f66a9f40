#pragma once

#include "BeatOutput.h"
#include "BeatRules.h"
#include "Thread.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

// The beat's scheduler. While an audio stream is open its sample clock lays the beats: each
// comes exactly FInterval ms worth of frames after the one before. Each beat is decided a fixed
// look-ahead before it is heard (position, accent, counters, the drummer's draw), its sound is
// placed at its frame, and its display is handed to the main thread with its play time. Without
// a stream the steady clock lays the same grid. A suspension withdraws a beat decided but not yet
// heard, as if it had never been decided.
//
// SetTempo, SetInterval, SetSettings, ResetBar, EndDrift, Suspend/Resume and Shutdown are called
// on the main thread; Execute runs on the clock thread; the tick event runs on the main thread.
class TClock final : public TThread
{
public:
    // Called on the main thread for each beat, as soon as it is decided, with its play time
    // (µs of the tick source); the window shows it then.
    using TTickEvent = std::function<void(TClock& sender, const BeatDecision& beat, std::int64_t playUs)>;

    // How long before its play time a beat is decided and its sound placed.
    static constexpr std::int64_t LookAheadUs = 45'000;
    // A beat closer to its play time than this can no longer be placed or withdrawn for sure.
    static constexpr std::int64_t MinLeadUs = 15'000;
    // The outputs sent at the play time are sent this much before it: a sleep ends a little late,
    // and a MIDI note that misses its server's period boundary by a hair waits a whole period.
    static constexpr std::int64_t HeardEarlyUs = 500;

    TClock(bool createSuspended, Poster post, TickSource& source = SteadyTickSource::Instance(),
           BeatOutput* output = nullptr);
    ~TClock() override;

    void SetTempo(int bpm);
    void SetInterval(int ms);
    int FTempo() const { return FTempoValue.load(); }
    int FInterval() const { return FIntervalValue.load(); }
    void SetOnTick(TTickEvent onTick);
    bool HasOnTick() const { return FHasOnTick.load(); }
    // The end of the program: suspend, detach the tick event, a 1 ms interval, terminate, then
    // resume until the suspend count is 0 whatever it was, so that the thread sees the request.
    void Shutdown();

    // What the window keeps current for the beats not yet decided.
    void SetSettings(const BeatSettings& settings);
    // Begins the bar again (Stop, a rhythm change).
    void ResetBar();
    // Start: the beats to come begin with the count-in the settings ask for.
    void ArmCountIn();
    // The timing coach's verdict on a finished bar, for the adaptive trainer.
    void ReportBar(bool clean);
    // Ends an upward drift: tempo down by 10, drummer flag cleared.
    void EndDrift();
    // Decides one beat at once, without sound: for showing the window in a given state.
    BeatDecision DecideNow();
    // The sequence's state after the last beat decided (the drummer's generator among it).
    BeatSequence::State SequenceState() const;
    // How often the grid was laid afresh while running: a beat came too late to be placed on it.
    std::int64_t Regrids() const { return FRegrids.load(); }
    // False for a beat that was withdrawn after it was handed over.
    bool Withdrawn(std::uint64_t id) const;

protected:
    void Execute() override;
    void OnSuspend() override;

private:
    // Where the next beat falls: on the stream's frames while it is open, else on the steady clock.
    struct Grid
    {
        bool FValid = false;
        std::int64_t FNextUs = 0;
        bool FOnFrames = false;
        double FNextFrame = 0;
        std::uint64_t FGeneration = 0;
        int FRate = 0;
    };
    struct Pending
    {
        BeatDecision FBeat;
        std::int64_t FPlayUs = 0;
        BeatSequence::State FBefore;
        Grid FGridBefore;
        bool FWithdrawable = true;
        int FSubsHeard = 0; // 0 until the beat is heard; then its subdivisions sent so far, from 1
    };

    void FollowStream(std::int64_t now);
    void AdvanceGrid();
    void DoTick(const BeatDecision& beat, std::int64_t playUs);
    // The play time of the pending beat's next output: the beat, then each subdivision.
    std::int64_t NextHeardUs() const;
    void SetTempoLocked(int bpm);
    // FTempo and FInterval follow the sequence's tempo (which the drift and a withdrawal move).
    void PublishTempo();

    BeatOutput* FOutput;
    mutable std::mutex FMutex; // guards everything below
    BeatSequence FSequence;
    BeatSettings FSettings;
    Grid FGrid;
    std::optional<Pending> FPending;
    std::array<std::uint64_t, 16> FWithdrawnIds{};
    std::size_t FWithdrawnNext = 0;
    std::atomic<std::uint64_t> FWithdrawals{0}; // wakes the clock thread's wait for a withdrawn beat
    std::atomic<std::int64_t> FRegrids{0};
    bool FBriefSuspend = false; // a new tempo or interval: the beat heard keeps its subdivisions

    std::atomic<int> FIntervalValue{0};
    std::atomic<int> FTempoValue{0};
    TTickEvent FOnTick;
    std::atomic<bool> FHasOnTick{false};
};
