#pragma once

#include <array>

// The practice page's settings: kept in the settings file and, saved with a profile, in its
// record. Every field is a whole number with a range and a default, so one table serves the
// settings file, the profile record and the page alike.
struct PracticeSettings
{
    int FVolume = 100;        // the sound's level, 0..100 %
    int FCountInBars = 0;     // bars counted in at each Start, 0..2
    int FSilentMode = 0;      // silent bars: 0 off, 1 by pattern, 2 by chance
    int FPlayBars = 4;        // bars heard before the silent ones, 1..16
    int FSilentBars = 4;      // silent bars after them, 1..16
    int FSilentPercent = 30;  // chance of a silent bar, 0..90 %
    int FTrainer = 0;         // the tempo trainer: 0 off, 1 on
    int FTrainerStep = 5;     // BPM per step, -20..20, never 0
    int FTrainerBars = 4;     // bars between steps, 1..64
    int FTrainerTarget = 160; // where the steps stop, 40..208
    int FTrainerWindow = 0;   // adaptive: a step only after bars whose every hit came within ± this
                              // many ms (5..50); 0 steps whatever the playing
    int FSubdivision = 1;     // clicks per beat, 1 (none)..4
    int FSubLevel = 50;       // their level, 0..100 %
    int FSubNote = 42;        // their General MIDI percussion key, 35..81 (closed hi-hat)

    bool operator==(const PracticeSettings&) const = default;

    struct Field
    {
        const char* FKey; // in the settings file
        int PracticeSettings::*FMember;
        int FLow;
        int FHigh;
    };
    // In the order they are written.
    static const std::array<Field, 14> Fields;

    // Every field brought into its range; a step of 0 becomes the default step, a window below
    // 5 ms the narrowest one.
    PracticeSettings Clamped() const;
};
