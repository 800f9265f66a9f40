#pragma once

#include "Practice.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// What the profile commands need of the main window: its controls and its state.
// Setting rhythm and tempo goes through the controls, so their change handling runs.
class ProfileHost
{
public:
    virtual ~ProfileHost() = default;

    virtual QString NameText() const = 0;              // Ed_Nazev
    virtual void SetNameText(const QString& text) = 0;
    virtual void SetNameWarning() = 0;                  // Ed_Nazev turns yellow
    virtual void SetProfileCaption(const QString& name) = 0; // "Tiktakon - " + name
    virtual int RhythmValue() const = 0;                // SpB_Beat value
    virtual void SetRhythmValue(int rhythm) = 0;
    virtual int SliderTempo() const = 0;                // trbTime position
    virtual void SetSliderTempo(int tempo) = 0;
    virtual void SetSpinTempo(int tempo) = 0;           // SpEd_Time value
    virtual bool MuteChecked() const = 0;               // chkMute
    virtual void SetMuteChecked(bool checked) = 0;
    virtual bool AccentsChecked() const = 0;            // ChB_Accents
    virtual void SetAccentsChecked(bool checked) = 0;
    virtual std::array<std::uint8_t, 8> AccentFlags() const = 0;
    // Sets the flags byte for byte and redraws the accent marks of all eight lights.
    virtual void SetAccentFlags(const std::array<std::uint8_t, 8>& flags) = 0;
    // The practice page: saved with a profile, restored when one is applied.
    virtual PracticeSettings Practice() const = 0;
    virtual void SetPractice(const PracticeSettings& practice) = 0;
    // The current profile's practice id (empty without one): its history is kept under it.
    virtual void SetPracticeId(const QByteArray& id) = 0;
    virtual int CurrentProfileIndex() const = 0;
    virtual void SetCurrentProfileIndex(int index) = 0;
    virtual void DefaultBeep() = 0;
    // The text-input box; returns `text` unchanged when cancelled.
    virtual QString InputBox(const QString& caption, const QString& prompt, const QString& text) = 0;
};
