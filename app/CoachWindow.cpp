#include "CoachWindow.h"

#include "AudioOut.h"
#include "CoachPlots.h"
#include "IniFile.h"
#include "PracticeHistory.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <cstdio>
#include <limits>
#include <cmath>

namespace {

const QString Presnost = QStringLiteral("presnost");
constexpr int kCalibrationClicks = 4;
constexpr int kPollMs = 100;

// With TIKTAKON_COACH_TRACE set, every hit and session is written to stderr, for the tests that
// set the coach against a synthetic player.
bool Trace()
{
    static const bool trace = qEnvironmentVariableIsSet("TIKTAKON_COACH_TRACE");
    return trace;
}

std::int64_t SteadyNowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

QString SignedMs(double ms)
{
    return QStringLiteral("%1%2 ms").arg(ms > 0 ? QStringLiteral("+") : QString()).arg(ms, 0, 'f', 1);
}

} // namespace

TformCoach::TformCoach(const QString& historyPath, QWidget* parent)
    : QWidget(parent, Qt::Window), FHistory(new PracticeHistory(historyPath, this))
{
    setWindowTitle(tr("Přesnost hry"));
    auto* grid = new QGridLayout;
    auto* lblVstup = new QLabel(tr("&Vstup:"), this);
    cboVstup = new QComboBox(this);
    cboVstup->setToolTip(tr("Odkud program poslouchá vaši hru: mikrofon, snímač bicí podložky, linkový vstup kytary"));
    lblVstup->setBuddy(cboVstup);
    btnPoslouchat = new QPushButton(tr("&Poslouchat"), this);
    btnPoslouchat->setCheckable(true);
    btnPoslouchat->setToolTip(tr("Zapne a vypne poslech; zvuk se jen rozebírá v paměti a nikam se neukládá"));
    btnKalibrovat = new QPushButton(tr("&Kalibrovat"), this);
    btnKalibrovat->setToolTip(tr("Program zahraje několik kliknutí a změří, za jak dlouho je vstup uslyší"));
    auto* lblPosun = new QLabel(tr("P&osun (ms):"), this);
    SpE_Posun = new QSpinBox(this);
    SpE_Posun->setRange(-200, 200);
    SpE_Posun->setToolTip(tr("Přičte se ke každé odchylce, když víte, že vstup zpožďuje jinak, než kalibrace změřila"));
    lblPosun->setBuddy(SpE_Posun);
    grid->addWidget(lblVstup, 0, 0);
    grid->addWidget(cboVstup, 0, 1, 1, 3);
    grid->addWidget(btnPoslouchat, 1, 0, 1, 2);
    grid->addWidget(btnKalibrovat, 1, 2);
    auto* posun = new QHBoxLayout;
    posun->addWidget(lblPosun);
    posun->addWidget(SpE_Posun);
    grid->addLayout(posun, 1, 3);

    lblStav = new QLabel(this);
    lblStav->setWordWrap(true);
    lblZasah = new QLabel(QStringLiteral("–"), this);
    QFont big = lblZasah->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    lblZasah->setFont(big);
    lblZasah->setAlignment(Qt::AlignCenter);
    lblZasah->setAccessibleName(tr("Poslední zásah"));
    Scale = new OffsetScale(this);
    lblCisla = new QLabel(this);
    lblCisla->setWordWrap(true);
    lblCisla->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Plots = new CoachPlots(this);

    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addWidget(lblStav);
    column->addWidget(lblZasah);
    column->addWidget(Scale);
    column->addWidget(lblCisla);
    column->addWidget(Plots, 1);

    FPoll = new QTimer(this);
    FPoll->setInterval(kPollMs);
    connect(FPoll, &QTimer::timeout, this, &TformCoach::Poll);
    connect(btnPoslouchat, &QPushButton::toggled, this, [this](bool on) {
        if (on) {
            StartListening();
        } else {
            StopListening();
        }
    });
    connect(btnKalibrovat, &QPushButton::clicked, this, &TformCoach::Calibrate);
    connect(SpE_Posun, &QSpinBox::valueChanged, this, [this](int ms) {
        if (FCoach) {
            FCoach->SetManualOffsetMs(ms);
        }
    });
    connect(cboVstup, &QComboBox::activated, this, [this] {
        // Another input: listened to at once, with its own calibration (or none).
        if (Listening()) {
            StopListening();
            StartListening();
        }
        SetStatus();
    });
    connect(FHistory, &PracticeHistory::Stored, this, [this] { ShowProgress(); });
    connect(FHistory, &PracticeHistory::Failed, this, [this](PracticeHistory::Problem, const QString& text) {
        // The session stays in memory and is written with the next one, once the file allows it.
        FError = text + QLatin1Char(' ') + tr("Cvičení zůstává v paměti programu.");
        SetStatus();
    });
    SetStatus();
    ShowFigures();
}

TformCoach::~TformCoach()
{
    StopListening();
}

void TformCoach::closeEvent(QCloseEvent* event)
{
    // Closing the window ends the listening: the capture is open only while the coach listens.
    StopListening();
    QWidget::closeEvent(event);
}

void TformCoach::ReadSettings(const IniFile& ini)
{
    const QString source = ini.ReadString(Presnost, QStringLiteral("vstup"), QString());
    FCalibratedSource = ini.ReadString(Presnost, QStringLiteral("kalibrace_vstup"), QString()).toStdString();
    FCalibratedLatencyUs = ini.ReadInteger(Presnost, QStringLiteral("kalibrace_us"), 0);
    if (std::abs(FCalibratedLatencyUs) > 2'000'000) {
        FCalibratedSource.clear(); // no input lags its output by seconds: not a calibration
    }
    SpE_Posun->setValue(ini.ReadInteger(Presnost, QStringLiteral("posun"), 0));
    RefreshSources();
    if (!source.isEmpty()) {
        const int at = cboVstup->findData(source);
        if (at >= 0) {
            cboVstup->setCurrentIndex(at);
        }
    }
    SetStatus();
}

void TformCoach::WriteSettings(const IniFile& ini) const
{
    ini.WriteString(Presnost, QStringLiteral("vstup"), QString::fromStdString(ChosenSource()));
    ini.WriteString(Presnost, QStringLiteral("kalibrace_vstup"), QString::fromStdString(FCalibratedSource));
    ini.WriteInteger(Presnost, QStringLiteral("kalibrace_us"), static_cast<int>(FCalibratedLatencyUs));
    ini.WriteInteger(Presnost, QStringLiteral("posun"), SpE_Posun->value());
}

void TformCoach::RefreshSources()
{
    const std::string chosen = ChosenSource();
    std::string fallback;
    const std::vector<AudioIn::Source> sources = AudioIn::Sources(&fallback);
    cboVstup->clear();
    int preselect = -1;
    for (const AudioIn::Source& s : sources) {
        const QString text = QString::fromStdString(s.FDescription.empty() ? s.FName : s.FDescription);
        // A monitor hears the program's own clicks: it is there to choose, never chosen for you.
        cboVstup->addItem(s.FMonitor ? tr("%1 (výstup, slyší i metronom)").arg(text) : text,
                          QString::fromStdString(s.FName));
        if (s.FName == chosen || (chosen.empty() && s.FName == fallback && !s.FMonitor)) {
            preselect = cboVstup->count() - 1;
        }
    }
    cboVstup->setCurrentIndex(preselect);
}

std::string TformCoach::ChosenSource() const
{
    return cboVstup->currentIndex() < 0 ? std::string() : cboVstup->currentData().toString().toStdString();
}

bool TformCoach::Listening() const
{
    return FRunning.load();
}

void TformCoach::StartListening()
{
    StopListening();
    FError.clear();
    const std::string source = ChosenSource();
    if (source.empty()) {
        FError = cboVstup->count() == 0 ? tr("Žádný vstup: zvukový server není spuštěn, nebo nemá žádný zdroj zvuku.")
                                         : tr("Vyberte vstup, který má program poslouchat.");
        const QSignalBlocker quiet(btnPoslouchat);
        btnPoslouchat->setChecked(false);
        SetStatus();
        return;
    }
    FCoach = std::make_unique<TimingCoach>([](std::int64_t from, int frames, float* mono) {
        return AudioOut::Instance().CopyPlayed(from, frames, mono);
    });
    FCoach->SetManualOffsetMs(SpE_Posun->value());
    FDelayGuessed = false; // each new capture counts its frames afresh: placed once its timing is known
    FQueue = std::make_unique<SpscQueue<Block, 1024>>();
    FDropped = 0;
    FRunning = true;
    FWorker = std::thread([this] { Listen(); });
    const bool open = FIn.Open(source, [this](std::int64_t frame, const float* mono, int frames) {
        // The server's thread: copied into blocks and handed on, never waited for.
        for (int done = 0; done < frames;) {
            Block b;
            b.FFrame = frame + done;
            b.FCount = std::min<int>(frames - done, static_cast<int>(b.FSamples.size()));
            std::copy(mono + done, mono + done + b.FCount, b.FSamples.begin());
            if (!FQueue->Push(b)) {
                FDropped.fetch_add(1);
            }
            done += b.FCount;
        }
    });
    if (!open) {
        StopListening();
        FError = tr("Vstup \"%1\" nelze otevřít.").arg(cboVstup->currentText());
    }
    {
        // The button shows the state; its own signal is for the user's presses.
        const QSignalBlocker quiet(btnPoslouchat);
        btnPoslouchat->setChecked(open);
    }
    if (open) {
        FPoll->start();
    }
    SetStatus();
}

void TformCoach::StopListening()
{
    FIn.Close();
    if (FRunning.exchange(false) || FWorker.joinable()) {
        if (FWorker.joinable()) {
            FWorker.join();
        }
    }
    FCalibrating = false;
    FCalibrationWanted = false;
    {
        const QSignalBlocker quiet(btnPoslouchat);
        btnPoslouchat->setChecked(false);
    }
    SetStatus();
}

void TformCoach::Listen()
{
    std::vector<TimingCoach::Hit> hits;
    Block b;
    while (FRunning.load()) {
        bool any = false;
        while (FQueue->Pop(b)) {
            any = true;
            FCoach->Input(b.FFrame, b.FSamples.data(), b.FCount, hits);
        }
        if (!hits.empty()) {
            std::lock_guard lock(FFoundMutex);
            FFound.insert(FFound.end(), hits.begin(), hits.end());
            hits.clear();
        }
        if (!any) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
}

void TformCoach::GuessDelay()
{
    // Until a calibration or the clicks themselves tell, the servers' timing gives the delay
    // within milliseconds: enough to find the clicks near it.
    std::int64_t outZero = 0;
    std::int64_t inZero = 0;
    if (FDelayGuessed || !FCoach || !AudioOut::Instance().TimeAt(0, outZero) || !FIn.TimeAt(0, inZero)) {
        return;
    }
    const bool calibrated = ChosenSource() == FCalibratedSource;
    const std::int64_t latency = calibrated ? FCalibratedLatencyUs : 0;
    FCoach->SetDelay(static_cast<double>(outZero - inZero + latency) * TimingCoach::Rate / 1e6);
    FDelayGuessed = true;
}

void TformCoach::Poll()
{
    if (!Listening()) {
        FPoll->stop();
        return;
    }
    if (FIn.Lost()) {
        StopListening();
        FError = tr("Vstup se ztratil (odpojen, nebo skončil zvukový server); metronom hraje dál.");
        SetStatus();
        return;
    }
    GuessDelay();
    if (FCalibrationWanted) {
        PlayCalibrationClicks();
    }
    if (FCalibrating && !FCalibrationWanted) {
        if (const auto result = FCoach->CalibrationResult()) {
            FCalibrating = false;
            if (Trace()) {
                std::fprintf(stderr, "coach calibration %s\n",
                             *result ? QByteArray::number(**result).constData() : "failed");
            }
            std::int64_t outZero = 0;
            std::int64_t inZero = 0;
            if (*result && AudioOut::Instance().TimeAt(0, outZero) && FIn.TimeAt(0, inZero)) {
                // Kept as time, from the output heard to the input captured: the frames of the
                // next capture count from another start.
                FCalibratedSource = ChosenSource();
                FCalibratedLatencyUs = inZero - outZero + std::llround(**result * 1e6 / TimingCoach::Rate);
                FCoach->SetDelay(**result);
                FError.clear();
            } else {
                FError = tr("Kalibrace se nezdařila: vstup kliknutí neslyšel. Zesilte zvuk nebo přibližte mikrofon.");
            }
            SetStatus();
        }
    }
    std::vector<TimingCoach::Hit> found;
    {
        std::lock_guard lock(FFoundMutex);
        found.swap(FFound);
    }
    for (const TimingCoach::Hit& h : found) {
        lblZasah->setText(SignedMs(h.FOffsetMs));
        Scale->AddHit(h.FOffsetMs);
        if (Trace()) {
            std::fprintf(stderr, "coach hit %.3f %d %.1f\n", h.FOffsetMs, h.FPosition, h.FOutFrame);
        }
        // A bar is judged once a hit of a later one comes; bars between without a hit were not played.
        if (FWindowMs > 0 && FReport && h.FBar > 0 && FInSession) {
            if (FOpenBar > 0 && h.FBar > FOpenBar) {
                FReport(FOpenHits > 0 && FOpenWorstMs <= FWindowMs);
                for (int skipped = FOpenBar + 1; skipped < h.FBar; ++skipped) {
                    FReport(false);
                }
            }
            if (h.FBar != FOpenBar) {
                FOpenBar = h.FBar;
                FOpenHits = 0;
                FOpenWorstMs = 0;
            }
            ++FOpenHits;
            FOpenWorstMs = std::max(FOpenWorstMs, std::abs(h.FOffsetMs));
        }
    }
    if (!found.empty() && FInSession) {
        ShowFigures();
    }
    SetStatus();
}

void TformCoach::Calibrate()
{
    if (FInSession) {
        FError = tr("Kalibrovat lze jen se zastaveným metronomem.");
        SetStatus();
        return;
    }
    if (!Listening()) {
        StartListening();
        if (!Listening()) {
            return;
        }
    }
    double now = 0;
    AudioOut& out = AudioOut::Instance();
    if (!out.IsOpen() || !out.FrameAt(SteadyNowUs() + 200'000, now)) {
        FError = tr("Kalibrace potřebuje zvukový výstup, a ten teď není.");
        SetStatus();
        return;
    }
    // The clicks are placed once the servers' timing gives the delay to look around (afresh: an
    // old calibration may be far off).
    FDelayGuessed = false;
    FCalibrationWanted = true;
    FCalibrating = true;
    FError.clear();
    Poll();
    SetStatus();
}

void TformCoach::PlayCalibrationClicks()
{
    double now = 0;
    AudioOut& out = AudioOut::Instance();
    if (!FDelayGuessed || !out.FrameAt(SteadyNowUs() + 200'000, now)) {
        return;
    }
    FCalibrationWanted = false;
    std::vector<std::int64_t> frames;
    for (int k = 0; k < kCalibrationClicks; ++k) {
        const auto frame = static_cast<std::int64_t>(now) + k * TimingCoach::Rate * 3 / 10;
        out.PlayTone(1000, 30, frame);
        frames.push_back(frame);
    }
    FCoach->Calibrate(frames);
}

void TformCoach::SetStatus()
{
    QString text;
    if (!FError.isEmpty()) {
        text = FError;
    } else if (FCalibrating) {
        text = tr("Kalibruji: program hraje kliknutí a poslouchá je…");
    } else if (!Listening()) {
        text = tr("Neposlouchá. Zvolte vstup a stiskněte \"Poslouchat\"; metronom pak spusťte.");
    } else if (ChosenSource() == FCalibratedSource) {
        text = tr("Poslouchá. Kalibrováno: zvuk dojde na vstup za %1 ms.")
                   .arg(static_cast<double>(FCalibratedLatencyUs) / 1000.0, 0, 'f', 1);
    } else {
        text = tr("Poslouchá, ale nekalibrováno: odchylky mohou být posunuté. Stiskněte \"Kalibrovat\".");
    }
    if (Listening() && FCoach && FCoach->DelayFromClicks()) {
        text += QLatin1Char(' ') + tr("Kliknutí metronomu slyší a odečítá je.");
    }
    if (Trace() && text != lblStav->text()) {
        std::fprintf(stderr, "coach status %s\n", text.toUtf8().constData());
    }
    lblStav->setText(text);
    btnKalibrovat->setEnabled(!FCalibrating);
}

void TformCoach::BeatDecided(const BeatDecision& beat)
{
    FBeatsPerBar = beat.FBeatsPerBar;
    // Only beats laid on the stream's frames can be set against what the input hears.
    if (!FCoach || !Listening() || beat.FSpanFrames <= 0) {
        return;
    }
    TimingCoach::Beat b;
    b.FFrame = beat.FFrame;
    b.FSpanFrames = beat.FSpanFrames;
    b.FSubdivision = beat.FSubdivision;
    b.FPosition = beat.FPosition;
    b.FSilent = beat.FMute;
    b.FCountIn = beat.FCountIn;
    b.FTempo = beat.FTempo;
    b.FBar = beat.FCountIn ? 0 : BarNumber(beat.FCounter, beat.FBeatsPerBar);
    FCoach->AddBeat(b);
}

void TformCoach::SetProfile(const QByteArray& practiceId, const QString& name)
{
    const bool changed = practiceId != FProfileId;
    FProfileId = practiceId;
    FProfileName = name;
    if (changed && isVisible()) {
        ShowProgress();
    }
}

void TformCoach::ShowProgress()
{
    std::vector<CoachPlots::Day> days;
    for (const PracticeSession& s : FHistory->Sessions(FProfileId)) {
        // The typical size of an offset, whichever way: the mean and the spread together.
        const double rms = std::sqrt(s.FMeanOffsetMs * s.FMeanOffsetMs + s.FSpreadMs * s.FSpreadMs);
        days.push_back({s.FStart.toLocalTime().date(), rms, s.FSpreadMs, s.FTempo});
    }
    Plots->SetProgress(days);
}

void TformCoach::SetBarVerdicts(int windowMs, std::function<void(bool clean)> report)
{
    FWindowMs = windowMs;
    FReport = std::move(report);
}

void TformCoach::BeatStarted()
{
    FOpenBar = 0;
    FInSession = Listening();
    FStartedAt = QDateTime::currentDateTimeUtc();
    if (FCoach) {
        FCoach->Reset();
    }
    {
        std::lock_guard lock(FFoundMutex);
        FFound.clear();
    }
    Scale->Clear();
    lblZasah->setText(QStringLiteral("–"));
    FLast.reset();
    ShowFigures();
}

std::optional<TformCoach::Session> TformCoach::BeatStopped(int tempo, int subdivision)
{
    if (!FInSession || !FCoach) {
        FInSession = false;
        return std::nullopt;
    }
    FInSession = false;
    Poll();
    Session s;
    s.FFigures = FCoach->Snapshot();
    s.FHitList = FCoach->Hits();
    s.FHits = s.FFigures.FHits;
    if (Trace()) {
        std::fprintf(stderr, "coach session %d %.3f %.3f delay %.0f %s\n", s.FHits, s.FFigures.FMeanMs,
                     s.FFigures.FSpreadMs, FCoach->Delay(), FCoach->DelayFromClicks() ? "clicks" : "set");
    }
    FLast = s;
    ShowFigures();
    if (s.FHits > 0) {
        PracticeSession stored;
        stored.FProfileId = FProfileId;
        stored.FProfileName = FProfileName;
        stored.FStart = FStartedAt;
        stored.FDurationSeconds = static_cast<int>(FStartedAt.secsTo(QDateTime::currentDateTimeUtc()));
        stored.FTempo = tempo;
        stored.FSubdivision = subdivision;
        stored.FHitCount = s.FHits;
        stored.FMeanOffsetMs = s.FFigures.FMeanMs;
        stored.FSpreadMs = s.FFigures.FSpreadMs;
        for (int b = 0; b < FBeatsPerBar; ++b) {
            const auto i = static_cast<std::size_t>(b);
            stored.FBeatOffsetsMs << (s.FFigures.FBeatHits[i] > 0 ? s.FFigures.FBeatMeanMs[i]
                                                                   : std::numeric_limits<double>::quiet_NaN());
        }
        if (s.FFigures.FDriftBpm) {
            stored.FSilentDriftBpm = *s.FFigures.FDriftBpm;
        }
        FHistory->Store(stored);
    }
    return s;
}

void TformCoach::ShowFigures()
{
    TimingCoach::Figures f;
    std::vector<TimingCoach::Hit> hits;
    if (FInSession && FCoach) {
        f = FCoach->Snapshot();
        hits = FCoach->Hits();
    } else if (FLast) {
        f = FLast->FFigures;
        hits = FLast->FHitList;
    }
    Plots->SetSession(hits, f, FBeatsPerBar);
    if (f.FHits == 0) {
        lblCisla->setText(tr("Zatím žádné zásahy."));
        return;
    }
    const QString lean = f.FMeanMs < -2 ? tr("spěcháte") : f.FMeanMs > 2 ? tr("táhnete") : tr("přesně");
    QStringList beats;
    for (int b = 0; b < FBeatsPerBar; ++b) {
        const auto i = static_cast<std::size_t>(b);
        if (f.FBeatHits[i] > 0) {
            beats << QStringLiteral("%1: %2").arg(b + 1).arg(SignedMs(f.FBeatMeanMs[i]));
        }
    }
    QString text = tr("Zásahů: %1   Průměr: %2 (%3)   Rozptyl: %4 ms")
                       .arg(f.FHits)
                       .arg(SignedMs(f.FMeanMs), lean)
                       .arg(f.FSpreadMs, 0, 'f', 1);
    text += QLatin1Char('\n') + tr("Podle dob: %1").arg(beats.join(QStringLiteral("   ")));
    if (f.FDriftBpm) {
        text += QLatin1Char('\n') +
                tr("V tichých taktech jste hráli o %1 BPM %2 než metronom.")
                    .arg(std::abs(*f.FDriftBpm), 0, 'f', 1)
                    .arg(*f.FDriftBpm >= 0 ? tr("rychleji") : tr("pomaleji"));
    }
    lblCisla->setText(text);
}

OffsetScale::OffsetScale(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(34);
    setAccessibleName(tr("Stupnice odchylky: vlevo brzy, vpravo pozdě"));
}

void OffsetScale::AddHit(double offsetMs)
{
    FRecent.push_back(offsetMs);
    if (FRecent.size() > 8) {
        FRecent.erase(FRecent.begin());
    }
    update();
}

void OffsetScale::Clear()
{
    FRecent.clear();
    update();
}

void OffsetScale::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Room for the words at both ends, in either language.
    const double left = 45;
    const double right = width() - 45.0;
    const double y = height() / 2.0;
    const auto xAt = [&](double ms) { return left + (std::clamp(ms, -50.0, 50.0) + 50.0) / 100.0 * (right - left); };
    p.setPen(Qt::darkGray);
    p.drawLine(QPointF(left, y), QPointF(right, y));
    for (double ms : {-50.0, -25.0, 0.0, 25.0, 50.0}) {
        const double len = ms == 0 ? 10 : 5;
        p.drawLine(QPointF(xAt(ms), y - len), QPointF(xAt(ms), y + len));
    }
    p.drawText(QRectF(0, 0, left - 3, height()), Qt::AlignRight | Qt::AlignVCenter, tr("brzy"));
    p.drawText(QRectF(right + 3, 0, 42, height()), Qt::AlignLeft | Qt::AlignVCenter, tr("pozdě"));
    for (std::size_t i = 0; i < FRecent.size(); ++i) {
        QColor c = FRecent[i] < 0 ? QColor(0x1f, 0x6f, 0xc0) : QColor(0xc0, 0x4a, 0x1f);
        c.setAlphaF(0.25 + 0.75 * static_cast<double>(i + 1) / static_cast<double>(FRecent.size()));
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(QPointF(xAt(FRecent[i]), y), i + 1 == FRecent.size() ? 7.0 : 4.5, i + 1 == FRecent.size() ? 7.0 : 4.5);
    }
}
