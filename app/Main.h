#pragma once

#include "BeatRules.h"
#include "Colour.h"
#include "ConfigHost.h"
#include "Lights.h"
#include "ProfileHost.h"
#include "SettingsHost.h"
#include "TapTempo.h"
#include "Voices.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

class ProfileList;
class TformCoach;
class QAction;
class QCheckBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolButton;
class TBarCircle;
class TClock;
class TickSource;
class TformConfig;
class TMidiTick;
class TProfileGrid;
class TShape;
class TSpinEdit;
class TTrackBar;

// The main window: every control, all program state, the beat handler, start-up and closing.
// Main thread only; the clock hands its ticks over to BeatHandler here.
class TformMain final : public QWidget, public ProfileHost, public SettingsHost, public ConfigHost
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TformMain)

public:
    // dataDir holds "tiktakon.ini" and "profiles.mtr"; decided once by the program's entry.
    // tickSource: the clock's time line (tests pass a controlled one); null for the real clock.
    explicit TformMain(const QString& dataDir, TickSource* tickSource = nullptr);
    ~TformMain() override;

    // The settings dialog, created right after this window.
    void SetConfig(TformConfig* config);
    TformConfig* Config() const { return FConfig; }

    QString IniPath() const;
    QString ProfilePath() const;
    bool StartedUp() const { return FStartedUp; }

    // Handlers.
    void FormShow();
    void FormActivate();
    void FormClose();
    void btnStartStopClick();
    // The clock hands each beat over as soon as it is decided; it is shown at its play time.
    void BeatHandler(const BeatDecision& beat, std::int64_t playUs);
    // What a beat changes on the screen: lights, number, circle, bar counter, smile.
    void ShowBeat(const BeatDecision& beat);
    void RestoreTrainerStart();
    // Ctrl+T: the timing coach's window, made at first use.
    void ShowCoach();
    // The profile whose practice the coach keeps: its id and name (none without a current one).
    void TellCoachTheProfile();
    void TempoSetByHand(int bpm);
    // Decides the next beat at once and shows it, without sound (tests, screenshots).
    void BeatNow();
    // The settings the clock decides each beat from, as the window holds them now.
    void PushBeatSettings();
    // The sounds of the beats to come, from the settings dialog's choices.
    void PrepareSounds();

    void shpOneMouseUp(TShape* shape);
    void SetTempoControls(int bpm);
    void SpEd_TimeChange();
    void trbTimeChange();
    void SpB_BeatChange();
    void TimerTimer();
    void btnSetupClick();
    void But_SaveClick();
    void StatusBarClick();
    void Ed_NazevEnter();
    // The application-wide key handler; true when it took the key press.
    bool ApplicationShortCut(QObject* receiver, QKeyEvent* event);
    // A tap of the tempo at an input event's moment (ms); from the second tap on it sets the tempo.
    void TapTempoAt(std::int64_t ms);

    // Runs a handler; an error it raises is shown in the "Tiktakon" box and the program goes on.
    void Guard(const std::function<void()>& handler);
    // N as the beat uses it: the rhythm box's value brought into 1..8.
    int BeatsPerBar() const;
    bool Running() const;

    // ProfileHost
    QString NameText() const override;
    void SetNameText(const QString& text) override;
    void SetNameWarning() override;
    void SetProfileCaption(const QString& name) override;
    int RhythmValue() const override;
    void SetRhythmValue(int rhythm) override;
    int SliderTempo() const override;
    void SetSliderTempo(int tempo) override;
    void SetSpinTempo(int tempo) override;
    bool MuteChecked() const override;
    void SetMuteChecked(bool checked) override;
    bool AccentsChecked() const override;
    void SetAccentsChecked(bool checked) override;
    std::array<std::uint8_t, 8> AccentFlags() const override;
    void SetAccentFlags(const std::array<std::uint8_t, 8>& flags) override;
    int CurrentProfileIndex() const override;
    void SetCurrentProfileIndex(int index) override;
    void DefaultBeep() override;
    QString InputBox(const QString& caption, const QString& prompt, const QString& text) override;

    // SettingsHost
    void RestoreProfile(int index) override;
    QString RhythmText() const override;
    int SoundMode() const override;
    void SetSoundMode(int mode) override;
    int MidiDeviceIndex() const override;
    void SetMidiDeviceIndex(int index) override;
    int MidiSound1Index() const override;
    void SetMidiSound1Index(int index) override;
    int MidiSound2Index() const override;
    void SetMidiSound2Index(int index) override;
    QString WavePath1() const override;
    void SetWavePath1(const QString& path) override;
    QString WavePath2() const override;
    void SetWavePath2(const QString& path) override;
    bool LightsShown() const override;
    void SetLightsShown(bool shown) override;
    bool NumbersShown() const override;
    void SetNumbersShown(bool shown) override;
    bool CircleShown() const override;
    void SetCircleShown(bool shown) override;
    TColor BeatColour() const override { return FBeatColour; }
    void SetBeatColour(TColor colour) override { FBeatColour = colour; }
    TColor AccentColour() const override { return FAccentColour; }
    void SetAccentColour(TColor colour) override { FAccentColour = colour; }
    bool RealDrummer() const override;
    void SetRealDrummer(bool on) override;
    // Added to each beat's play time before it is shown (Bluetooth headphones and the like).
    int DisplayOffsetMs() const override;
    void SetDisplayOffsetMs(int ms) override;
    PracticeSettings Practice() const override;
    void SetPractice(const PracticeSettings& practice) override;
    void SetPracticeId(const QByteArray& id) override;
    int ColumnCount() const override;
    int ColumnWidth(int column) const override;
    void SetColumnWidth(int column, int width) override;

    // ConfigHost
    void ShowLights(bool shown) override;
    void ShowNumbers(bool shown) override;
    void ShowCircle(bool shown) override;
    void EndDrift() override;

    // Replaceable so that tests can answer them.
    std::function<QString(const QString&, const QString&, const QString&)> FInputBox;
    std::function<void(const QString& url)> FOpenUrl;

    // Controls.
    QFrame* Panel2;
    QLabel* Label3;
    QLineEdit* Ed_Nazev;
    QLabel* Label1;
    TSpinEdit* SpB_Beat;
    QLabel* Label2;
    TSpinEdit* SpEd_Time;
    QLabel* Image_Smile;
    QCheckBox* chkMute;
    QCheckBox* ChB_Accents;
    QToolButton* But_Save;
    QPushButton* btnSetup;
    QFrame* Panel3;
    TProfileGrid* Grid;
    TTrackBar* trbTime;
    QFrame* Panel4;
    QFrame* pnlShapes;
    std::array<TShape*, 8> FShapes; // shpOne .. shpEight
    QFrame* pnlCisla;
    QLabel* L_Beat;
    QFrame* Pnl_Image;
    TBarCircle* Image;
    QPushButton* btnStartStop;
    QStatusBar* StatusBar;
    std::array<QLabel*, 3> FPanels; // the status bar's three panels
    QAction* Act_Save;
    QAction* Act_Options;
    QAction* Act_Coach; // Ctrl+T: the timing coach
    TformCoach* FCoach = nullptr;
    QByteArray FPracticeId; // the current profile's, for its practice history
    QTimer* Timer;

    // State.
    std::unique_ptr<TClock> FClock;
    std::shared_ptr<TMidiTick> FMidiTick;
    BeatSounds FSounds;
    int FBeatPosition = 0;
    int FBeatCounter = 0;
    int FRunTime = 0;
    std::array<std::uint8_t, 8> FAccentFlags{};
    TapTempo FTapTempo;
    bool FInCountIn = false; // the beats shown are the count-in's: the run time waits
    // The trainer moves the tempo controls without the clock being told (it decided the step);
    // the tempo set by hand, or at Start, is where Stop puts them back.
    int FTrainerStart = 0;
    bool FTrainerMoving = false;
    bool FTrainerMoved = false;
    bool FDrummer = false;
    TColor FBeatColour = clRed;
    TColor FAccentColour = clFuchsia;
    int FCurrentProfile = -1;
    TLightTable FLights{};
    std::unique_ptr<ProfileList> FProfiles;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A field where blanks and letters are typed, so Space and T keep their meaning there.
    bool IsTextField(QWidget* focus) const;

private:
    void CreateControls();
    void StopClock();
    // The clock's time line: the steady clock, or the one a test passed in.
    TickSource& Time() const;
    void ShowDueBeats();
    void ArmShowTimer();
    // Runs `work` now, or right after a beat that is about to be shown.
    void AfterDueBeat(std::function<void()> work);
    void ReadSettingsFile();
    void WriteSettingsFile();

    QString FDataDir;
    TickSource* FTickSource;
    TformConfig* FConfig = nullptr;
    bool FShown = false;
    bool FStartedUp = false;
    bool FClosed = false;
    std::deque<std::pair<BeatDecision, std::int64_t>> FShowQueue; // beat, time to show it (µs)
    QTimer* FShowTimer = nullptr;
    QTimer* FSoundTimer = nullptr;
};

// The web page a click on the status bar opens: the program's own documentation.
extern const char* const TiktakonHomePage;
