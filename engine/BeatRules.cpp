#include "BeatRules.h"

#include <algorithm>

int BarNumber(int beatCounter, int beatsPerBar)
{
    return (beatCounter - 1) / beatsPerBar + 1;
}

std::uint32_t DrummerRandom::Draw(std::uint32_t n)
{
    FState = FState * 134775813u + 1u;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(FState) * n) >> 32);
}

BeatDecision BeatSequence::Decide(const BeatSettings& settings)
{
    BeatDecision d;
    // Ids are never reused, not even by a beat decided again after a withdrawal.
    d.FId = FNextId++;
    const int n = std::clamp(settings.FBeatsPerBar, 1, 8);
    State& s = FState;
    // Brought into range once here, so that every rule below reads values it can play.
    const PracticeSettings practice = settings.FPractice.Clamped();
    s.FPosition = std::clamp(s.FPosition, 0, n - 1);
    d.FBeatsPerBar = n;
    if (s.FCountInArmed) {
        s.FCountInArmed = false;
        s.FCountInLeft = practice.FCountInBars * n;
    }
    if (s.FCountInLeft > 0) {
        // Bar 1 of the count-in and its first beat sound as an accent, whatever the accents; the
        // bar, the counters and the drummer wait for the first real beat.
        --s.FCountInLeft;
        d.FCountIn = true;
        d.FPosition = s.FPosition;
        d.FAccented = s.FPosition == 0;
        d.FMute = settings.FMute;
        s.FPosition = (s.FPosition + 1) % n;
        d.FNextPosition = s.FPosition;
        d.FCounter = s.FCounter;
        d.FDrummer = s.FDrummer;
        d.FTempo = s.FTempo;
        return d;
    }
    d.FPosition = s.FPosition;
    d.FAccented = settings.FAccentsOn && settings.FAccentFlags[static_cast<std::size_t>(s.FPosition)] != 0;
    d.FMute = settings.FMute;
    s.FPosition = (s.FPosition + 1) % n;
    d.FNextPosition = s.FPosition;
    ++s.FCounter;
    d.FCounter = s.FCounter;
    if ((s.FCounter - 1) % n == 0) {
        d.FBarStart = true;
        d.FBar = BarNumber(s.FCounter, n);
        switch (practice.FSilentMode) {
        case 1: {
            s.FBarSilent = (d.FBar - 1) % (practice.FPlayBars + practice.FSilentBars) >= practice.FPlayBars;
            break;
        }
        case 2:
            s.FBarSilent =
                s.FSilentRandom.Draw(100) < static_cast<std::uint32_t>(practice.FSilentPercent);
            break;
        default:
            s.FBarSilent = false;
            break;
        }
        StepTrainer(practice, d);
        // The draw is made only when every other condition holds, so its sequence is the same
        // in every run of the program.
        if (s.FCounter > 1 && settings.FRealDrummer && s.FCounter % (4 * n) == 1 && s.FRandom.Draw(3) == 0) {
            s.FDrummer = !s.FDrummer;
            s.FTempo += s.FDrummer ? 10 : -10;
            d.FDrummerChanged = true;
        }
    }
    d.FDrummer = s.FDrummer;
    d.FTempo = s.FTempo;
    d.FSilentBar = s.FBarSilent;
    d.FMute = d.FMute || s.FBarSilent;
    d.FSubdivision = practice.FSubdivision;
    return d;
}

void BeatSequence::StepTrainer(const PracticeSettings& practice, BeatDecision& d)
{
    State& s = FState;
    if (practice.FTrainer == 0) {
        s.FTrainerBars = 0;
        s.FCleanBars = 0;
        return;
    }
    // After every M bars at one tempo, the next bar begins a step nearer the target; a step
    // that points away from the target leaves the tempo where it is.
    // The adaptive trainer counts only the bars the coach found played within its window.
    const int bars = practice.FTrainerBars;
    const bool adaptive = practice.FTrainerWindow > 0;
    if ((adaptive ? s.FCleanBars : s.FTrainerBars) >= bars) {
        s.FTrainerBars = 0;
        s.FCleanBars = 0;
        const int drift = s.FDrummer ? 10 : 0;
        const int base = s.FTempo - drift;
        const int target = practice.FTrainerTarget;
        const int step = practice.FTrainerStep;
        int next = base;
        if (step > 0 && base < target) {
            next = std::min(base + step, target);
        } else if (step < 0 && base > target) {
            next = std::max(base + step, target);
        }
        if (next != base) {
            s.FTempo = next + drift;
            d.FTrainerStepped = true;
            d.FTrainerTempo = next;
        }
    }
    ++s.FTrainerBars;
}

void BeatSequence::ResetBar()
{
    FState.FPosition = 0;
    FState.FCounter = 0;
    FState.FCountInArmed = false;
    FState.FCountInLeft = 0;
    FState.FBarSilent = false;
    FState.FTrainerBars = 0;
    FState.FCleanBars = 0;
}
