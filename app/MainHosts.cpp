// The main window's side of the profile commands, the settings file and the settings dialog.
#include "Main.h"

#include "AudioOut.h"
#include "Clock.h"
#include "Config.h"
#include "ProfileList.h"
#include "Shape.h"
#include "SpinEdit.h"
#include "TrackBar.h"
#include "Voices.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>

// ---- ProfileHost ----

QString TformMain::NameText() const
{
    return Ed_Nazev->text();
}

void TformMain::SetNameText(const QString& text)
{
    Ed_Nazev->setText(text);
}

void TformMain::SetNameWarning()
{
    QPalette palette = Ed_Nazev->palette();
    palette.setColor(QPalette::Base, Qt::yellow);
    Ed_Nazev->setPalette(palette);
}

void TformMain::SetProfileCaption(const QString& name)
{
    setWindowTitle(QStringLiteral("Tiktakon - ") + name);
}

int TformMain::RhythmValue() const
{
    return SpB_Beat->Value();
}

void TformMain::SetRhythmValue(int rhythm)
{
    SpB_Beat->SetValue(rhythm);
}

int TformMain::SliderTempo() const
{
    return trbTime->value();
}

void TformMain::SetSliderTempo(int tempo)
{
    trbTime->setValue(tempo);
}

void TformMain::SetSpinTempo(int tempo)
{
    SpEd_Time->SetValue(tempo);
}

bool TformMain::MuteChecked() const
{
    return chkMute->isChecked();
}

void TformMain::SetMuteChecked(bool checked)
{
    chkMute->setChecked(checked);
}

bool TformMain::AccentsChecked() const
{
    return ChB_Accents->isChecked();
}

void TformMain::SetAccentsChecked(bool checked)
{
    ChB_Accents->setChecked(checked);
}

std::array<std::uint8_t, 8> TformMain::AccentFlags() const
{
    return FAccentFlags;
}

void TformMain::SetAccentFlags(const std::array<std::uint8_t, 8>& flags)
{
    FAccentFlags = flags;
    for (int i = 0; i < 8; ++i) {
        FShapes[i]->SetPenWidth(flags[i] != 0 ? 2 : 1);
    }
    PushBeatSettings();
}

int TformMain::CurrentProfileIndex() const
{
    return FCurrentProfile;
}

void TformMain::SetCurrentProfileIndex(int index)
{
    FCurrentProfile = index;
    if (index < 0) {
        FPracticeId.clear(); // no profile: the practice is kept apart from any profile's
    }
}

void TformMain::SetPracticeId(const QByteArray& id)
{
    FPracticeId = id;
}

void TformMain::DefaultBeep()
{
    SoundDefaultBeep(-1);
}

QString TformMain::InputBox(const QString& caption, const QString& prompt, const QString& text)
{
    return FInputBox ? FInputBox(caption, prompt, text) : text;
}

// ---- SettingsHost ----

void TformMain::RestoreProfile(int index)
{
    FProfiles->ApplyProfile(index);
    if (index + 1 < Grid->GridRowCount()) {
        Grid->SetCurrentGridRow(index + 1);
    }
}

QString TformMain::RhythmText() const
{
    return SpB_Beat->Text();
}

int TformMain::SoundMode() const
{
    return FConfig ? FConfig->SoundMode() : 1;
}

void TformMain::SetSoundMode(int mode)
{
    if (FConfig) {
        FConfig->SetSoundMode(mode);
    }
}

namespace {
void SelectIndex(QComboBox* box, int index)
{
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}
} // namespace

int TformMain::MidiDeviceIndex() const
{
    return FConfig ? FConfig->cboMidiDevice->currentIndex() : -1;
}

void TformMain::SetMidiDeviceIndex(int index)
{
    if (FConfig) {
        SelectIndex(FConfig->cboMidiDevice, index);
    }
}

int TformMain::MidiSound1Index() const
{
    return FConfig ? FConfig->cboMidiSound1->currentIndex() : -1;
}

void TformMain::SetMidiSound1Index(int index)
{
    if (FConfig) {
        SelectIndex(FConfig->cboMidiSound1, index);
    }
}

int TformMain::MidiSound2Index() const
{
    return FConfig ? FConfig->cboMidiSound2->currentIndex() : -1;
}

void TformMain::SetMidiSound2Index(int index)
{
    if (FConfig) {
        SelectIndex(FConfig->cboMidiSound2, index);
    }
}

QString TformMain::WavePath1() const
{
    return FConfig ? FConfig->Ed_Path1->text() : QString();
}

void TformMain::SetWavePath1(const QString& path)
{
    if (FConfig) {
        FConfig->Ed_Path1->setText(path);
    }
}

QString TformMain::WavePath2() const
{
    return FConfig ? FConfig->Ed_Path2->text() : QString();
}

void TformMain::SetWavePath2(const QString& path)
{
    if (FConfig) {
        FConfig->Ed_Path2->setText(path);
    }
}

bool TformMain::LightsShown() const
{
    return FConfig ? FConfig->ChB_Lights->isChecked() : true;
}

void TformMain::SetLightsShown(bool shown)
{
    if (FConfig) {
        FConfig->ChB_Lights->setChecked(shown);
    }
    ShowLights(shown);
}

bool TformMain::NumbersShown() const
{
    return FConfig ? FConfig->ChB_Numbers->isChecked() : true;
}

void TformMain::SetNumbersShown(bool shown)
{
    if (FConfig) {
        FConfig->ChB_Numbers->setChecked(shown);
    }
    ShowNumbers(shown);
}

bool TformMain::CircleShown() const
{
    return FConfig ? FConfig->ChB_Circle->isChecked() : true;
}

void TformMain::SetCircleShown(bool shown)
{
    if (FConfig) {
        FConfig->ChB_Circle->setChecked(shown);
    }
    ShowCircle(shown);
}

int TformMain::DisplayOffsetMs() const
{
    return FConfig ? FConfig->SpE_Posun->value() : 0;
}

void TformMain::SetDisplayOffsetMs(int ms)
{
    if (FConfig) {
        FConfig->SpE_Posun->setValue(ms);
    }
}

PracticeSettings TformMain::Practice() const
{
    return FConfig ? FConfig->Practice() : PracticeSettings{};
}

void TformMain::SetPractice(const PracticeSettings& practice)
{
    if (FConfig) {
        FConfig->ShowPractice(practice);
        // The box raises no change for the value it already holds: the sound is told in any case.
        AudioOut::Instance().SetVolumePercent(FConfig->SpE_Hlasitost->value());
    }
    PushBeatSettings();
}

bool TformMain::RealDrummer() const
{
    return FConfig && FConfig->ChB_Real->isChecked();
}

void TformMain::SetRealDrummer(bool on)
{
    if (FConfig) {
        FConfig->ChB_Real->setChecked(on);
    }
}

int TformMain::ColumnCount() const
{
    return Grid->columnCount();
}

int TformMain::ColumnWidth(int column) const
{
    return Grid->columnWidth(column);
}

void TformMain::SetColumnWidth(int column, int width)
{
    Grid->setColumnWidth(column, width);
}

// ---- ConfigHost ----

void TformMain::ShowLights(bool shown)
{
    pnlShapes->setVisible(shown);
}

void TformMain::ShowNumbers(bool shown)
{
    pnlCisla->setVisible(shown);
}

void TformMain::ShowCircle(bool shown)
{
    Pnl_Image->setVisible(shown);
}

void TformMain::EndDrift()
{
    // The smile is shown exactly while the drift is up.
    if (FClock) {
        FClock->EndDrift();
    }
    FDrummer = false;
    Image_Smile->hide();
}
