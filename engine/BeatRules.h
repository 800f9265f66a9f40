#pragma once

#include "Practice.h"

#include <array>
#include <cstdint>

// Bar number of the beat with counter c in bars of n beats: beats 1, n+1, 2n+1 ... begin bars 1, 2, 3 ...
int BarNumber(int beatCounter, int beatsPerBar);

// The real drummer's own generator: state 0 at program start, never seeded from the time.
class DrummerRandom final
{
public:
    // A draw below n: the upper half of the 64-bit product of the new state and n.
    std::uint32_t Draw(std::uint32_t n);
    std::uint32_t State() const { return FState; }

private:
    std::uint32_t FState = 0;
};

// What the window keeps current for the beats to come; the clock reads it when it decides a beat.
struct BeatSettings
{
    int FBeatsPerBar = 1; // as typed; brought into 1..8 for each beat
    bool FAccentsOn = false;
    std::array<std::uint8_t, 8> FAccentFlags{};
    bool FRealDrummer = false;
    bool FMute = false;
    // Count-in, silent bars, the trainer and subdivisions.
    PracticeSettings FPractice;
};

// One decided beat: everything its sound and its display need.
struct BeatDecision
{
    std::uint64_t FId = 0;
    int FPosition = 0;     // position of this beat in the bar, 0..N-1
    int FNextPosition = 0; // the position after it (the circle shows this one)
    int FBeatsPerBar = 1;
    bool FAccented = false;
    bool FMute = false;
    int FCounter = 0; // beats since the last reset, this one included
    bool FBarStart = false;
    int FBar = 0;
    bool FDrummerChanged = false;
    bool FDrummer = false;
    int FTempo = 0; // the clock's tempo after this beat (moved by the drift)
    bool FCountIn = false; // a beat of the count-in: counts nothing, draws nothing
    bool FSilentBar = false; // a beat of a silent bar: shown and counted, not heard
    bool FTrainerStepped = false; // the trainer moved the tempo at this bar's first beat
    int FTrainerTempo = 0;        // the trainer's tempo then, without the drummer's drift
    int FSubdivision = 1;         // clicks in this beat's interval, the beat's own included
    // Set by the scheduler: where the beat lies on the stream (when it has a frame) and how long
    // its interval is, so that the subdivisions fall at exact fractions of it.
    double FFrame = 0;
    double FSpanFrames = 0;
    std::int64_t FSpanUs = 0;
};

// The beat sequencing: position in the bar, accents, counters and the real drummer's drift.
// Not thread-safe; the clock guards it. Its state can be taken and put back, so that a beat
// decided ahead and then withdrawn leaves no trace.
class BeatSequence final
{
public:
    struct State
    {
        int FPosition = 0;
        int FCounter = 0;
        bool FDrummer = false;
        int FTempo = 60;
        DrummerRandom FRandom;
        bool FCountInArmed = false; // a Start asked for the count-in; its length is set at the next beat
        int FCountInLeft = 0;       // count-in beats still to come
        bool FBarSilent = false;    // the bar being played is a silent one
        DrummerRandom FSilentRandom; // the silent bars' own draws, apart from the drummer's
        int FTrainerBars = 0;        // bars begun at the trainer's present tempo
        int FCleanBars = 0;          // bars played within the adaptive trainer's window, in a row
    };

    BeatDecision Decide(const BeatSettings& settings);
    // Stop and a rhythm change begin the bar again (and end a count-in).
    void ResetBar();
    // Start: the next beats are the count-in, as many bars as the settings say then.
    void ArmCountIn() { FState.FCountInArmed = true; }
    // The timing coach's verdict on a finished bar: were all its hits within the window?
    static void ReportBar(State& state, bool clean) { state.FCleanBars = clean ? state.FCleanBars + 1 : 0; }
    void ReportBar(bool clean) { ReportBar(FState, clean); }
    const State& Snapshot() const { return FState; }
    void Restore(const State& state) { FState = state; }
    int Tempo() const { return FState.FTempo; }
    // A tempo set from outside (by hand, a profile): the trainer counts its bars afresh from it.
    void SetTempo(int bpm)
    {
        FState.FTempo = bpm;
        FState.FTrainerBars = 0;
        FState.FCleanBars = 0;
    }
    bool Drummer() const { return FState.FDrummer; }
    void SetDrummer(bool on) { FState.FDrummer = on; }

private:
    void StepTrainer(const PracticeSettings& practice, BeatDecision& d);

    State FState;
    std::uint64_t FNextId = 1;
};
