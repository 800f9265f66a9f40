#pragma once

#include "Colour.h"
#include "Practice.h"

#include <QString>

// What reading and writing the settings file needs of the two windows' controls.
class SettingsHost
{
public:
    virtual ~SettingsHost() = default;

    virtual int CurrentProfileIndex() const = 0;
    virtual void SetCurrentProfileIndex(int index) = 0;
    // Applies stored profile `index` and puts the list's cursor on it; throws on a failed read.
    virtual void RestoreProfile(int index) = 0;

    virtual QString RhythmText() const = 0;      // SpB_Beat's text
    virtual void SetRhythmValue(int rhythm) = 0; // clamped by the box
    virtual int SliderTempo() const = 0;         // trbTime
    virtual void SetSliderTempo(int tempo) = 0;  // clamped by the slider
    virtual bool MuteChecked() const = 0;
    virtual void SetMuteChecked(bool checked) = 0;

    virtual int SoundMode() const = 0;              // optZvuk's index, -1 when none
    virtual void SetSoundMode(int mode) = 0;        // clamped to -1..4
    virtual int MidiDeviceIndex() const = 0;        // -1 when nothing is chosen
    virtual void SetMidiDeviceIndex(int index) = 0; // outside the list: nothing chosen
    virtual int MidiSound1Index() const = 0;
    virtual void SetMidiSound1Index(int index) = 0;
    virtual int MidiSound2Index() const = 0;
    virtual void SetMidiSound2Index(int index) = 0;
    virtual QString WavePath1() const = 0;
    virtual void SetWavePath1(const QString& path) = 0;
    virtual QString WavePath2() const = 0;
    virtual void SetWavePath2(const QString& path) = 0;

    virtual bool LightsShown() const = 0; // ChB_Lights; setting also shows pnlShapes
    virtual void SetLightsShown(bool shown) = 0;
    virtual bool NumbersShown() const = 0; // ChB_Numbers / pnlCisla
    virtual void SetNumbersShown(bool shown) = 0;
    virtual bool CircleShown() const = 0; // ChB_Circle / Pnl_Image
    virtual void SetCircleShown(bool shown) = 0;
    virtual bool AccentsChecked() const = 0; // ChB_Accents
    virtual void SetAccentsChecked(bool checked) = 0;

    virtual TColor BeatColour() const = 0;
    virtual void SetBeatColour(TColor colour) = 0;
    virtual TColor AccentColour() const = 0;
    virtual void SetAccentColour(TColor colour) = 0;
    virtual bool RealDrummer() const = 0; // ChB_Real
    virtual void SetRealDrummer(bool on) = 0;

    virtual int DisplayOffsetMs() const = 0;     // SpE_Posun, -500..500
    virtual void SetDisplayOffsetMs(int ms) = 0; // clamped by the box
    // The practice page (volume, count-in, silent bars, trainer, subdivisions); set brought into range.
    virtual PracticeSettings Practice() const = 0;
    virtual void SetPractice(const PracticeSettings& practice) = 0;

    virtual int ColumnCount() const = 0; // of the profile list, 5
    virtual int ColumnWidth(int column) const = 0;
    virtual void SetColumnWidth(int column, int width) = 0;
};
