#pragma once

#include "Practice.h"

#include <QColor>
#include <QDialog>

#include <functional>
#include <memory>
#include <optional>

class ConfigHost;
class TMidiTick;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QTabWidget;
class QFrame;

// The settings dialog "Nastavení": how beats sound (page "&Zvuk"), how they are shown
// (page "Z&obrazení") and when the display follows the sound (page "Č&asování"). Its controls are the
// program's only store of these settings. Created once, hidden, right after the main window; main thread
// only.
class TformConfig final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TformConfig)

public:
    TformConfig(ConfigHost& host, QWidget* parent); // FormCreate
    ~TformConfig() override;                        // FormDestroy

    // Asks the MIDI systems for their output ports (a few ms): done once at start-up, after the
    // main window shows and before the settings file chooses a device.
    void ListMidiDevices();

    // Shows modally; 1 for OK, anything else for the close box or Esc.
    int ShowModal();

    int MidiNote() const;
    int MidiChannel() const { return FMidiChannel; }
    int SoundMode() const;       // optZvuk's item index, -1 when none is chosen
    void SetSoundMode(int mode); // -1..4 (clamped); shows the group box of the mode
    TMidiTick* TestTick() const { return FTestTick.get(); }

    void optZvukClick();
    void btnTestClick();
    void But_BrowseClick();
    void Button1Click();
    void ChB_LightsClick();
    void ChB_NumbersClick();
    void ChB_CircleClick();
    void Panel1Click();
    void Panel2Click();
    void ChB_RealClick();

    // The choosers, replaceable so that tests can answer them. Empty result: cancelled.
    std::function<QString(const QString& lastFile)> FChooseFile;
    std::function<std::optional<QColor>(const QColor& lastColour)> FChooseColour;

    QTabWidget* PageControl1;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QButtonGroup* optZvuk;
    QGroupBox* optZvukBox;
    QGroupBox* grpMidi;
    QLabel* lblMidiDevice;
    QComboBox* cboMidiDevice;
    QLabel* lblMidiSound;
    QComboBox* cboMidiSound1;
    QLabel* Label1;
    QComboBox* cboMidiSound2;
    QGroupBox* grpVlastni;
    QPushButton* But_Browse;
    QLineEdit* Ed_Path1;
    QPushButton* Button1;
    QLineEdit* Ed_Path2;
    QPushButton* btnTest;
    QCheckBox* ChB_Lights;
    QCheckBox* ChB_Numbers;
    QCheckBox* ChB_Circle;
    QFrame* Panel1;
    QFrame* Panel2;
    QCheckBox* ChB_Real;
    // Page "Časování": milliseconds added to each beat's play time before it is shown, and the
    // delay from a beat's decision to its sound as the sound server reports it.
    QSpinBox* SpE_Posun;
    QSpinBox* SpE_Hlasitost; // the sound's level, 0..100 %
    QComboBox* cboPredtakt;  // bars counted in at Start: none, 1, 2
    QComboBox* cboVynechat;  // silent bars: off, by pattern, by chance
    QSpinBox* SpE_Hrat;      // bars played before the silent ones, 1..16
    QSpinBox* SpE_Ticho;     // silent bars after them, 1..16
    QSpinBox* SpE_Nahodne;   // chance of a silent bar, 0..90 %
    QCheckBox* ChB_Zrychlovani; // the tempo trainer
    QSpinBox* SpE_Okno;         // adaptive: a step only after bars within ± this (0: always)
    QSpinBox* SpE_Cil;          // its target tempo, 40..208
    QSpinBox* SpE_Krok;         // its step, -20..20 BPM, never 0
    QSpinBox* SpE_Kazdych;      // bars between steps, 1..64
    QComboBox* cboDeleni;       // clicks per beat: 1 (off)..4
    QSpinBox* SpE_Uroven;       // their level, 0..100 %
    QComboBox* cboNastroj;      // their MIDI instrument (the key as item data)
    // The practice page as settings, and the page set from them (brought into range).
    PracticeSettings Practice() const;
    void ShowPractice(const PracticeSettings& settings);
    QLabel* lblLatency;
    // The latency label's text for the stream as it is now.
    static QString LatencyText();

protected:
    void showEvent(QShowEvent* event) override; // the mode's group box, centred over the owner
    void hideEvent(QHideEvent* event) override; // FormHide

private:
    void BuildPracticePage(QWidget* page);

    ConfigHost& FHost;
    int FMidiChannel = 9;
    std::unique_ptr<TMidiTick> FTestTick;
    QString FLastFile;
    QColor FLastColour = Qt::black;
    QTimer* FLatencyTimer;
};
