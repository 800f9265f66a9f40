#pragma once

#include "AudioIn.h"
#include "BeatRules.h"
#include "SpscQueue.h"
#include "TimingCoach.h"

#include <QByteArray>
#include <QDateTime>
#include <QWidget>

#include <array>
#include <functional>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class CoachPlots;
class PracticeHistory;
class IniFile;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;
class OffsetScale;

// The timing coach, "Přesnost hry": listens to the player through an input of the sound server
// and shows how early or late every hit is against the beat, with the session's figures and
// plots. The capture's blocks are handed by the server's thread to a listening thread of the
// window's own; the main thread shows what it found, polling a few times a second.
class TformCoach final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TformCoach)

public:
    // The practice history is kept in `historyPath` (beside the settings).
    explicit TformCoach(const QString& historyPath, QWidget* parent = nullptr);
    ~TformCoach() override;

    // Section [presnost] of the settings file: the input, its calibration, the manual offset.
    void ReadSettings(const IniFile& ini);
    void WriteSettings(const IniFile& ini) const;

    // From the main window: the current profile (its practice id and name; empty without one),
    // each beat as decided, and the beat's start and stop.
    void SetProfile(const QByteArray& practiceId, const QString& name);
    void BeatDecided(const BeatDecision& beat);
    void BeatStarted();
    // The adaptive trainer: each finished bar is reported clean when it had hits and every one
    // came within ± windowMs (0: no reports).
    void SetBarVerdicts(int windowMs, std::function<void(bool clean)> report);
    // The session ends: its figures are what the window shows from now on.
    struct Session
    {
        int FHits = 0;
        TimingCoach::Figures FFigures;
        std::vector<TimingCoach::Hit> FHitList;
    };
    // With the tempo and subdivision it ran at, stored in the history when there were hits.
    std::optional<Session> BeatStopped(int tempo, int subdivision);
    PracticeHistory* History() const { return FHistory; }
    // The current profile's sessions over the days, from the history.
    void ShowProgress();

    bool Listening() const;
    void StartListening();
    void StopListening();
    void RefreshSources();
    // Lays out the last session's figures and plots (also used when the window is shown).
    void ShowFigures();
    // What the main thread found since the last poll (tests call it rather than wait).
    void Poll();

    QComboBox* cboVstup;
    QPushButton* btnPoslouchat;
    QPushButton* btnKalibrovat;
    QSpinBox* SpE_Posun;
    QLabel* lblStav;
    QLabel* lblZasah;
    QLabel* lblCisla;
    OffsetScale* Scale;
    CoachPlots* Plots;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Block
    {
        std::int64_t FFrame = 0;
        int FCount = 0;
        std::array<float, 256> FSamples{};
    };
    void Listen();
    void Calibrate();
    void PlayCalibrationClicks();
    void SetStatus();
    std::string ChosenSource() const;
    void GuessDelay();

    AudioIn FIn;
    std::unique_ptr<TimingCoach> FCoach;
    std::unique_ptr<SpscQueue<Block, 1024>> FQueue;
    std::thread FWorker;
    std::atomic<bool> FRunning{false};
    std::atomic<std::int64_t> FDropped{0};
    std::mutex FFoundMutex; // the listening thread's hits, for the main thread
    std::vector<TimingCoach::Hit> FFound;
    QTimer* FPoll;

    // Main thread.
    std::string FCalibratedSource;
    std::int64_t FCalibratedLatencyUs = 0; // from the output heard to the input captured
    bool FCalibrating = false;
    bool FCalibrationWanted = false; // asked for, its clicks not yet played
    bool FDelayGuessed = false;
    bool FInSession = false;
    int FBeatsPerBar = 4;
    QString FError;
    std::optional<Session> FLast;
    PracticeHistory* FHistory;
    QByteArray FProfileId;
    QString FProfileName;
    QDateTime FStartedAt;
    int FWindowMs = 0;
    std::function<void(bool)> FReport;
    int FOpenBar = 0; // the bar whose hits are being gathered
    int FOpenHits = 0;
    double FOpenWorstMs = 0;
};

// A scale from 50 ms early to 50 ms late with the last hits marked, the newest strongest.
class OffsetScale final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OffsetScale)

public:
    explicit OffsetScale(QWidget* parent = nullptr);
    void AddHit(double offsetMs);
    void Clear();
    QSize sizeHint() const override { return {400, 34}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<double> FRecent;
};
