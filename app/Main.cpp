#include "Main.h"

#include "AudioOut.h"
#include "BarCircle.h"
#include "CoachWindow.h"
#include "Clock.h"
#include "ColourConv.h"
#include "Config.h"
#include "IniFile.h"
#include "MessageBox.h"
#include "Midi.h"
#include "Pictures.h"
#include "ProfileList.h"
#include "SettingsFile.h"
#include "Shape.h"
#include "SpinEdit.h"
#include "StatusTexts.h"
#include "TempoName.h"
#include "TrackBar.h"
#include "Voices.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMetaObject>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <chrono>
#include <thread>

#ifndef TIKTAKON_DOC_URL
#define TIKTAKON_DOC_URL "file:///usr/share/doc/tiktakon/index.html"
#endif

const char* const TiktakonHomePage = TIKTAKON_DOC_URL;

namespace {

// Work of the user's that takes milliseconds waits for a beat to be shown this soon.
constexpr std::int64_t kYieldToBeatUs = 15000;

// The beat number during a count-in: a green that none of the beat colours' defaults is.
const QColor CountInColour(0x00, 0x99, 0x33);

// Functions, not constants: the texts are translated once the language is chosen.
QString StartCaption()
{
    return TformMain::tr("&Start");
}

QString StopCaption()
{
    return TformMain::tr("&Stop");
}

// The tempo scale marks of the slider; its ends, 40 and 208, are marked by the slider itself.
const QVector<int> TempoScaleMarks{42,  44,  46,  48,  50,  52,  54,  56,  58,  60,  63,  66,  69,
                                   72,  76,  80,  84,  88,  92,  96,  100, 104, 108, 112, 116, 120,
                                   126, 132, 138, 144, 152, 160, 168, 176, 184, 192, 200};

QFrame* MakePanel(QWidget* parent, QFrame::Shadow shadow, const QRect& geometry)
{
    auto* panel = new QFrame(parent);
    panel->setFrameShape(shadow == QFrame::Plain ? QFrame::NoFrame : QFrame::Panel);
    panel->setFrameShadow(shadow);
    panel->setGeometry(geometry);
    return panel;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    return label;
}

// A check box with its caption on the left and its box on the right.
QCheckBox* MakeRightBox(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* box = new QCheckBox(text, parent);
    box->setLayoutDirection(Qt::RightToLeft);
    box->setGeometry(geometry);
    return box;
}

bool IsKeypad(const QKeyEvent* event)
{
    return event->modifiers().testFlag(Qt::KeypadModifier);
}

} // namespace

TformMain::TformMain(const QString& dataDir, TickSource* tickSource)
    : QWidget(nullptr), FDataDir(dataDir), FTickSource(tickSource)
{
    setObjectName(QStringLiteral("formMain"));
    setWindowTitle(QStringLiteral("Tiktakon"));
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    setFixedSize(455, 256);
    move(316, 110);
    FInputBox = [this](const QString& caption, const QString& prompt, const QString& text) {
        bool ok = false;
        const QString answer = QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, text, &ok);
        return ok ? answer : text;
    };
    FOpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    CreateControls();
}

TformMain::~TformMain()
{
    qApp->removeEventFilter(this);
    if (!FClosed && FClock) {
        StopClock();
    }
    FClock.reset();
    FMidiTick.reset();
}

QString TformMain::IniPath() const
{
    return QDir(FDataDir).filePath(QStringLiteral("tiktakon.ini"));
}

QString TformMain::ProfilePath() const
{
    return QDir(FDataDir).filePath(QStringLiteral("profiles.mtr"));
}

void TformMain::CreateControls()
{
    Panel2 = MakePanel(this, QFrame::Raised, {0, 0, 177, 128});
    Label3 = new QLabel(tr("Název:"), Panel2);
    Label3->move(9, 16);
    Label3->adjustSize();
    Ed_Nazev = new QLineEdit(Panel2);
    Ed_Nazev->setGeometry(64, 8, 105, 21);
    Ed_Nazev->setToolTip(tr("Název profilu"));
    Ed_Nazev->installEventFilter(this);
    // DejaVu Sans runs wider than the old bitmap font: the labels take the room up to their boxes.
    Label1 = MakeLabel(Panel2, tr("Rytmus:"), {9, 40, 54, 17});
    SpB_Beat = new TSpinEdit(1, 8, 1, Panel2);
    SpB_Beat->setGeometry(64, 35, 64, 22);
    SpB_Beat->setToolTip(tr("Nastavení rytmu"));
    Label2 = MakeLabel(Panel2, tr("Tempo:"), {9, 63, 54, 17});
    SpEd_Time = new TSpinEdit(40, 208, 100, Panel2);
    SpEd_Time->setGeometry(64, 60, 64, 22);
    SpEd_Time->setToolTip(tr("Nastavení tempa v úderech za minutu (BMP)"));
    Image_Smile = new QLabel(Panel2);
    Image_Smile->setGeometry(47, 64, 16, 16);
    Image_Smile->setPixmap(SmilePicture());
    Image_Smile->setAlignment(Qt::AlignCenter);
    Image_Smile->setToolTip(QStringLiteral("Real drummer"));
    Image_Smile->hide();
    chkMute = MakeRightBox(Panel2, tr("Potichu:"), {9, 89, 67, 17});
    chkMute->setToolTip(tr("Vypnout zvuk"));
    ChB_Accents = MakeRightBox(Panel2, tr("Důrazy"), {9, 107, 67, 16});
    But_Save = new QToolButton(Panel2);
    But_Save->setGeometry(133, 34, 36, 49);
    But_Save->setText(tr("&Ulož"));
    But_Save->setIcon(FloppyIcon());
    But_Save->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    But_Save->setToolTip(tr("Uloží nastavené tempo pod zadaným názvem"));
    But_Save->setFocusPolicy(Qt::StrongFocus);
    btnSetup = new QPushButton(CogIcon(), tr("&Nastav"), Panel2);
    btnSetup->setGeometry(96, 92, 73, 26);
    btnSetup->setToolTip(tr("Nastavení zvuku a vizualizace"));
    btnSetup->setAutoDefault(false);

    Panel3 = MakePanel(this, QFrame::Plain, {179, 0, 275, 128});
    FProfiles = std::make_unique<ProfileList>(*this, ProfilePath(), Panel3);
    FProfiles->FGuard = [this](const std::function<void()>& command) { Guard(command); };
    Grid = FProfiles->Grid();
    Grid->FHeavyWork = [this](std::function<void()> work) { AfterDueBeat(std::move(work)); };
    Grid->setGeometry(0, 0, 275, 128);

    trbTime = new TTrackBar(40, 208, 96, this);
    trbTime->setGeometry(0, 128, 454, 45);

    Panel4 = MakePanel(this, QFrame::Raised, {0, 172, 454, 65});
    pnlShapes = MakePanel(Panel4, QFrame::Sunken, {3, 4, 198, 58});
    pnlShapes->setToolTip(tr("Nastavení důrazů kliknutím na patřičnou značku"));
    const int lefts[8] = {8, 31, 54, 77, 101, 124, 147, 170};
    for (int i = 0; i < 8; ++i) {
        FShapes[i] = new TShape(i, pnlShapes);
        FShapes[i]->setGeometry(lefts[i], 19, 20, 20);
        connect(FShapes[i], &TShape::MouseUp, this,
                [this](TShape* shape) { Guard([=, this] { shpOneMouseUp(shape); }); });
    }
    pnlCisla = MakePanel(Panel4, QFrame::Sunken, {204, 3, 39, 58});
    pnlCisla->installEventFilter(this);
    L_Beat = new QLabel(QStringLiteral("0"), pnlCisla);
    L_Beat->setGeometry(6, 1, 28, 56);
    QFont beatFont(QStringLiteral("DejaVu Sans"));
    beatFont.setBold(true);
    beatFont.setPixelSize(40);
    L_Beat->setFont(beatFont);
    L_Beat->setAlignment(Qt::AlignCenter);
    L_Beat->setStyleSheet(QStringLiteral("color: #ff0000"));
    L_Beat->hide();
    Pnl_Image = MakePanel(Panel4, QFrame::Sunken, {246, 3, 60, 60});
    Image = new TBarCircle(Pnl_Image);
    Image->setGeometry(1, 1, 58, 58);
    btnStartStop = new QPushButton(StartCaption(), Panel4);
    btnStartStop->setGeometry(309, 5, 142, 55);
    btnStartStop->setToolTip(tr("Spustí / vypne tiktakon"));
    btnStartStop->setAutoDefault(false);

    StatusBar = new QStatusBar(this);
    StatusBar->setGeometry(0, 237, 455, 19);
    StatusBar->setSizeGripEnabled(false);
    StatusBar->setCursor(Qt::PointingHandCursor);
    StatusBar->setToolTip(
        tr("Tiktakon 1.0, 2004\n%1").arg(QString::fromLatin1(TiktakonHomePage)));
    // The run time needs more room in DejaVu Sans than the old 50 px: the name panel gives it.
    const int widths[3] = {262, 70, 0};
    const QString texts[3] = {QString(), tr(" Takt:  0"), tr(" Čas:  00:00:00")};
    for (int i = 0; i < 3; ++i) {
        FPanels[i] = new QLabel(texts[i], StatusBar);
        FPanels[i]->setFrameShape(QFrame::Panel);
        FPanels[i]->setFrameShadow(QFrame::Sunken);
        FPanels[i]->setTextFormat(Qt::PlainText);
        if (widths[i] > 0) {
            FPanels[i]->setFixedWidth(widths[i]);
        }
        FPanels[i]->installEventFilter(this);
        StatusBar->addWidget(FPanels[i], widths[i] > 0 ? 0 : 1);
    }
    const QString about =
        tr("Tiktakon 1.0 © 2004  %1").arg(QString::fromLatin1(TiktakonHomePage));
    FPanels[0]->setText(FPanels[0]->fontMetrics().elidedText(about, Qt::ElideMiddle, widths[0] - 8));
    StatusBar->installEventFilter(this);

    Act_Save = new QAction(this);
    Act_Save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Act_Save->setShortcutContext(Qt::WindowShortcut);
    addAction(Act_Save);
    Act_Options = new QAction(this);
    Act_Options->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Act_Options->setShortcutContext(Qt::WindowShortcut);
    addAction(Act_Options);
    Act_Coach = new QAction(this);
    Act_Coach->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    Act_Coach->setShortcutContext(Qt::WindowShortcut);
    addAction(Act_Coach);

    Timer = new QTimer(this);
    Timer->setInterval(1000);

    // What assistive technology reads: the controls' names, and what the displays show; the
    // beat number and the circle have names of their own, so they are not read at every beat.
    Ed_Nazev->setAccessibleName(tr("Název profilu"));
    SpB_Beat->setAccessibleName(tr("Rytmus"));
    SpB_Beat->setAccessibleDescription(SpB_Beat->toolTip());
    SpEd_Time->setAccessibleName(tr("Tempo"));
    SpEd_Time->setAccessibleDescription(SpEd_Time->toolTip());
    trbTime->setAccessibleName(tr("Posuvník tempa"));
    trbTime->setAccessibleDescription(tr("Tempo v úderech za minutu"));
    But_Save->setAccessibleName(tr("Ulož"));
    But_Save->setAccessibleDescription(But_Save->toolTip());
    btnSetup->setAccessibleName(tr("Nastavení"));
    btnSetup->setAccessibleDescription(btnSetup->toolTip());
    Grid->setAccessibleName(tr("Profily"));
    Grid->setAccessibleDescription(Grid->toolTip());
    pnlShapes->setAccessibleName(tr("Světla dob"));
    pnlShapes->setAccessibleDescription(tr("Důraz doby přepne Ctrl+1 až Ctrl+8"));
    for (int i = 0; i < 8; ++i) {
        FShapes[i]->SetAccessibleTexts(tr("Doba %1").arg(i + 1), tr("Běžná doba"),
                                       tr("Důrazná doba"));
    }
    pnlCisla->setAccessibleName(tr("Číslo doby"));
    pnlCisla->setAccessibleDescription(tr("Kliknutím nebo klávesou T se ťuká tempo"));
    L_Beat->setAccessibleName(tr("Číslo doby"));
    L_Beat->setAccessibleDescription(tr("Číslo doby, která právě zní"));
    Pnl_Image->setAccessibleName(tr("Kruh taktu"));
    Image->setAccessibleName(tr("Kruh taktu"));
    Image->setAccessibleDescription(tr("Jaká část taktu uplynula"));
    btnStartStop->setAccessibleDescription(btnStartStop->toolTip());
    StatusBar->setAccessibleName(tr("Stavový řádek"));

    // Tab order: Panel2, Panel3, trbTime, Panel4; focus starts in the name edit.
    QWidget::setTabOrder(Ed_Nazev, SpB_Beat);
    QWidget::setTabOrder(SpB_Beat, SpEd_Time);
    QWidget::setTabOrder(SpEd_Time, chkMute);
    QWidget::setTabOrder(chkMute, ChB_Accents);
    QWidget::setTabOrder(ChB_Accents, But_Save);
    QWidget::setTabOrder(But_Save, btnSetup);
    QWidget::setTabOrder(btnSetup, Grid);
    QWidget::setTabOrder(Grid, trbTime);
    QWidget::setTabOrder(trbTime, btnStartStop);
    Ed_Nazev->setFocus();

    connect(btnStartStop, &QPushButton::clicked, this, [this] { Guard([this] { btnStartStopClick(); }); });
    connect(btnSetup, &QPushButton::clicked, this, [this] { Guard([this] { btnSetupClick(); }); });
    connect(But_Save, &QToolButton::clicked, this, [this] { Guard([this] { But_SaveClick(); }); });
    connect(Act_Save, &QAction::triggered, this, [this] { Guard([this] { But_SaveClick(); }); });
    connect(Act_Options, &QAction::triggered, this, [this] { Guard([this] { btnSetupClick(); }); });
    connect(Act_Coach, &QAction::triggered, this, [this] { Guard([this] { ShowCoach(); }); });
    connect(SpEd_Time, &TSpinEdit::Change, this, [this] { Guard([this] { SpEd_TimeChange(); }); });
    connect(SpB_Beat, &TSpinEdit::Change, this, [this] { Guard([this] { SpB_BeatChange(); }); });
    connect(trbTime, &QSlider::valueChanged, this, [this] { Guard([this] { trbTimeChange(); }); });
    connect(Timer, &QTimer::timeout, this, [this] { Guard([this] { TimerTimer(); }); });
    connect(ChB_Accents, &QCheckBox::toggled, this, [this] { PushBeatSettings(); });
    connect(chkMute, &QCheckBox::toggled, this, [this] { PushBeatSettings(); });

    FShowTimer = new QTimer(this);
    FShowTimer->setSingleShot(true);
    FShowTimer->setTimerType(Qt::PreciseTimer);
    connect(FShowTimer, &QTimer::timeout, this, [this] { ShowDueBeats(); });
    // A sound server that went away is looked for again, so that the sound comes back by itself.
    FSoundTimer = new QTimer(this);
    FSoundTimer->setInterval(500);
    connect(FSoundTimer, &QTimer::timeout, this, [] { AudioOut::Instance().KeepOpen(); });
    FSoundTimer->start();
}

void TformMain::SetConfig(TformConfig* config)
{
    FConfig = config;
    if (FConfig) {
        connect(FConfig->ChB_Real, &QCheckBox::toggled, this, [this] { PushBeatSettings(); });
    }
}

void TformMain::Guard(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        ShowErrorBox(this, QString::fromUtf8(e.what()));
    }
}

// ---- Start-up and closing ----

void TformMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FShown) {
        return;
    }
    FShown = true;
    Guard([this] { FormShow(); });
    // Where the platform never activates the window, start-up runs right after the first show.
    QMetaObject::invokeMethod(
        this, [this] { FormActivate(); }, Qt::QueuedConnection);
}

void TformMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && FShown) {
        FormActivate();
    }
}

void TformMain::FormShow()
{
    trbTime->SetTickMarks(TempoScaleMarks);
}

void TformMain::FormActivate()
{
    if (FStartedUp) {
        return;
    }
    FStartedUp = true;
    // Each step runs even when one before it failed: the window must end up usable.
    Guard([this] { qApp->installEventFilter(this); });
    Guard([this] {
        auto post = [this](std::function<void()> call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        };
        FClock = std::make_unique<TClock>(true, post, Time(), &FSounds);
    });
    FMidiTick.reset();
    FBeatPosition = 0;
    FBeatCounter = 0;
    FRunTime = 0;
    FLights = FShapes;
    Guard([this] {
        if (FConfig) {
            FConfig->ListMidiDevices();
        }
    });
    Guard([this] { FProfiles->LoadProfileList(); });
    Guard([this] { ReadSettingsFile(); });
    Guard([this] {
        SpEd_Time->SetValue(trbTime->value());
        FClock->SetTempo(trbTime->value());
    });
    Guard([this] {
        PushBeatSettings();
        FClock->SetOnTick(
            [this](TClock&, const BeatDecision& beat, std::int64_t playUs) { BeatHandler(beat, playUs); });
    });
}

void TformMain::ReadSettingsFile()
{
    const IniFile ini(IniPath());
    ReadSettings(ini, *this,
                 [this](const std::exception& e) { ShowErrorBox(this, QString::fromUtf8(e.what())); });
}

void TformMain::WriteSettingsFile()
{
    const IniFile ini(IniPath());
    WriteSettings(ini, *this);
    // After the other sections, only once the coach was opened: the file stays as it was else.
    if (FCoach) {
        FCoach->WriteSettings(ini);
    }
}

void TformMain::TellCoachTheProfile()
{
    FCoach->SetProfile(FPracticeId, FCurrentProfile >= 0 ? Ed_Nazev->text() : QString());
}

void TformMain::ShowCoach()
{
    // Made at first use: looking for the inputs asks the sound server, which start-up need not wait for.
    if (!FCoach) {
        FCoach = new TformCoach(QDir(FDataDir).filePath(QStringLiteral("historie.sqlite")), this);
        FCoach->ReadSettings(IniFile(IniPath()));
        PushBeatSettings();
    }
    TellCoachTheProfile();
    FCoach->ShowProgress();
    FCoach->show();
    FCoach->raise();
    FCoach->activateWindow();
}

void TformMain::closeEvent(QCloseEvent* event)
{
    if (!FClosed) {
        FormClose();
    }
    QWidget::closeEvent(event);
}

void TformMain::FormClose()
{
    FClosed = true;
    Timer->stop();
    // The settings file keeps the tempo the trainer started from, as after Stop.
    RestoreTrainerStart();
    if (FStartedUp) {
        // A settings file that cannot be written is reported; the program still closes.
        Guard([this] { WriteSettingsFile(); });
    }
    Guard([this] { StopClock(); });
    FMidiTick.reset();
}

void TformMain::StopClock()
{
    if (!FClock) {
        return;
    }
    FClock->Shutdown();
    // Give the clock thread up to 150 ms to see the request and leave its loop.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
    while (!FClock->Finished() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// ---- Run control and the beat ----

bool TformMain::Running() const
{
    return FClock && !FClock->Suspended();
}

int TformMain::BeatsPerBar() const
{
    return std::clamp(SpB_Beat->Value(), 1, 8);
}

void TformMain::btnStartStopClick()
{
    if (!FMidiTick && FConfig) {
        FMidiTick =
            std::make_shared<TMidiTick>(static_cast<std::uint32_t>(FConfig->cboMidiDevice->currentIndex()),
                                        static_cast<std::uint8_t>(FConfig->MidiNote()),
                                        static_cast<std::uint8_t>(FConfig->MidiChannel()));
    }
    if (!FClock) {
        return;
    }
    if (FClock->Suspended()) {
        FRunTime = 0;
        FPanels[1]->setText(StartBarText());
        FPanels[2]->setText(RunTimeText(0));
        Timer->start();
        L_Beat->setStyleSheet(QStringLiteral("color: %1").arg(ToQColor(FBeatColour).name()));
        L_Beat->setText(QStringLiteral("0"));
        L_Beat->show();
        btnStartStop->setText(StopCaption());
        // A wave file changed on disk since the last run plays as it is now.
        PrepareSounds();
        PushBeatSettings();
        FTrainerStart = trbTime->value();
        FTrainerMoved = false;
        FClock->ArmCountIn();
        FInCountIn = Practice().FCountInBars > 0;
        if (FCoach) {
            TellCoachTheProfile();
            FCoach->BeatStarted();
        }
        FClock->Resume();
    } else {
        L_Beat->hide();
        btnStartStop->setText(StartCaption());
        FClock->Suspend();
        FShowQueue.clear();
        Image->Clear();
        if (FCoach) {
            FCoach->BeatStopped(FClock->FTempo(), Practice().Clamped().FSubdivision);
        }
        RestoreTrainerStart();
        SpB_BeatChange();
        Timer->stop();
    }
}

void TformMain::RestoreTrainerStart()
{
    if (FTrainerMoved) {
        FTrainerMoved = false;
        SetTempoControls(FTrainerStart);
    }
}

void TformMain::PushBeatSettings()
{
    if (!FClock) {
        return;
    }
    BeatSettings settings;
    settings.FBeatsPerBar = BeatsPerBar();
    settings.FAccentsOn = ChB_Accents->isChecked();
    settings.FAccentFlags = FAccentFlags;
    settings.FRealDrummer = RealDrummer();
    settings.FMute = chkMute->isChecked();
    settings.FPractice = Practice().Clamped();
    if (FCoach) {
        // The adaptive trainer steps on the coach's verdicts, bar by bar.
        const int window = settings.FPractice.FTrainer != 0 ? settings.FPractice.FTrainerWindow : 0;
        FCoach->SetBarVerdicts(window, [this](bool clean) {
            if (FClock) {
                FClock->ReportBar(clean);
            }
        });
    }
    FClock->SetSettings(settings);
}

void TformMain::PrepareSounds()
{
    if (FConfig) {
        const PracticeSettings practice = Practice().Clamped();
        FSounds.Prepare(FConfig->SoundMode(), FConfig->Ed_Path1->text(), FConfig->Ed_Path2->text(), FMidiTick,
                        {practice.FSubLevel, practice.FSubNote});
    }
}

void TformMain::BeatHandler(const BeatDecision& beat, std::int64_t playUs)
{
    if (FCoach) {
        FCoach->BeatDecided(beat);
    }
    FShowQueue.emplace_back(beat, playUs + static_cast<std::int64_t>(DisplayOffsetMs()) * 1000);
    ArmShowTimer();
}

TickSource& TformMain::Time() const
{
    return FTickSource ? *FTickSource : SteadyTickSource::Instance();
}

void TformMain::ArmShowTimer()
{
    if (FShowQueue.empty() || !FClock) {
        return;
    }
    const std::int64_t wait = FShowQueue.front().second - Time().NowUs();
    // A precise timer fires within a millisecond; it is started for the whole milliseconds
    // left, and the rest is waited for on the next turn.
    FShowTimer->start(static_cast<int>(std::clamp<std::int64_t>(wait / 1000, 0, 60000)));
}

void TformMain::AfterDueBeat(std::function<void()> work)
{
    const std::int64_t wait = FShowQueue.empty() ? INT64_MAX : FShowQueue.front().second - Time().NowUs();
    if (wait >= kYieldToBeatUs) {
        work();
        return;
    }
    // A beat to be shown within the next few milliseconds goes first, painted, then the work:
    // a sort of a long list would have made it late.
    QTimer::singleShot(static_cast<int>(std::max<std::int64_t>(wait, 0) / 1000) + 2, Qt::PreciseTimer, this,
                       [this, work = std::move(work)] { Guard(work); });
}

void TformMain::ShowDueBeats()
{
    const std::int64_t now = Time().NowUs();
    // Every beat that is due is applied in order within this one turn of the event loop, so a
    // late main thread shows only the newest beat, with the state the others left.
    while (!FShowQueue.empty() && FShowQueue.front().second <= now + 300) {
        const BeatDecision beat = FShowQueue.front().first;
        FShowQueue.pop_front();
        if (FClock && !FClock->Suspended() && !FClock->Withdrawn(beat.FId)) {
            ShowBeat(beat);
        }
    }
    ArmShowTimer();
}

void TformMain::BeatNow()
{
    if (FClock) {
        ShowBeat(FClock->DecideNow());
    }
}

void TformMain::ShowBeat(const BeatDecision& beat)
{
    Guard([&] {
        const int n = beat.FBeatsPerBar;
        const TColor colour = beat.FAccented ? FAccentColour : FBeatColour;
        // The count-in's numbers have a colour of their own; the run time starts after it.
        FInCountIn = beat.FCountIn;
        L_Beat->setStyleSheet(
            QStringLiteral("color: %1").arg(beat.FCountIn ? CountInColour.name() : ToQColor(colour).name()));
        L_Beat->setText(QString::number(beat.FPosition + 1));
        LightStep(FLights, beat.FPosition, n, colour);
        FBeatPosition = beat.FNextPosition;
        FBeatCounter = beat.FCounter;
        if (beat.FBarStart) {
            FPanels[1]->setText(BarCounterText(beat.FBar));
            if (beat.FDrummerChanged) {
                FDrummer = beat.FDrummer;
                Image_Smile->setVisible(FDrummer);
            }
        }
        Image->PaintBeat(beat.FNextPosition, n, colour);
        if (beat.FTrainerStepped) {
            // The clock runs at the step already; the controls only show it.
            FTrainerMoving = true;
            SetTempoControls(beat.FTrainerTempo);
            FTrainerMoving = false;
            FTrainerMoved = true;
        }
    });
}

void TformMain::shpOneMouseUp(TShape* shape)
{
    const int position = shape->Tag();
    if (shape->PenWidth() == 1) {
        shape->SetPenWidth(2);
        FAccentFlags[position] = 1;
    } else {
        shape->SetPenWidth(1);
        FAccentFlags[position] = 0;
    }
    PushBeatSettings();
}

void TformMain::TimerTimer()
{
    if (FInCountIn) {
        return;
    }
    ++FRunTime;
    FPanels[2]->setText(RunTimeText(FRunTime));
}

// ---- Tempo and rhythm ----

void TformMain::SetTempoControls(int bpm)
{
    if (bpm < trbTime->minimum() || bpm > trbTime->maximum()) {
        return;
    }
    trbTime->setValue(bpm);
    SpEd_Time->SetValue(bpm);
    TempoSetByHand(bpm);
    trbTime->setToolTip(TempoName(bpm));
}

void TformMain::SpEd_TimeChange()
{
    SetTempoControls(SpEd_Time->Value());
}

void TformMain::trbTimeChange()
{
    SpEd_Time->SetValue(trbTime->value());
    TempoSetByHand(trbTime->value());
}

void TformMain::TempoSetByHand(int bpm)
{
    if (FTrainerMoving) {
        return;
    }
    // A tempo set by hand (or by a profile) is where the trainer starts again.
    FTrainerStart = bpm;
    FTrainerMoved = false;
    if (FClock) {
        FClock->SetTempo(bpm);
    }
}

void TformMain::SpB_BeatChange()
{
    if (FClock) {
        FClock->Suspend();
        FClock->ResetBar();
    }
    FShowQueue.clear();
    FBeatCounter = 0;
    FBeatPosition = 0;
    FRunTime = 0;
    PushBeatSettings();
    if (FLights[0]) {
        LightReset(FLights, BeatsPerBar());
    }
    if (FClock) {
        FClock->Resume();
    }
}

// ---- Settings dialog ----

void TformMain::btnSetupClick()
{
    if (!FConfig || !FClock) {
        return;
    }
    FClock->Suspend();
    FShowQueue.clear();
    Timer->stop();
    int note = -1;
    std::uint32_t device = 0;
    int channel = 9;
    if (FMidiTick) {
        note = FMidiTick->FNote();
        device = FMidiTick->FDeviceId();
        channel = FMidiTick->FChannel();
        FMidiTick.reset();
    }
    const int result = FConfig->ShowModal();
    if (result == 1) {
        note = FConfig->MidiNote();
        device = static_cast<std::uint32_t>(FConfig->cboMidiDevice->currentIndex());
        channel = FConfig->MidiChannel();
    }
    if (note >= 0) {
        // Never two outputs at once: one opened by Start/Stop inside the dialog goes first.
        FMidiTick.reset();
        FMidiTick = std::make_shared<TMidiTick>(device, static_cast<std::uint8_t>(note),
                                                static_cast<std::uint8_t>(channel));
    }
    PrepareSounds();
    PushBeatSettings();
    FClock->Resume();
    // Start/Stop pressed inside the dialog: the beat runs exactly when the button says "&Stop".
    const bool shouldRun = btnStartStop->text() == StopCaption();
    if (shouldRun) {
        while (FClock->Suspended()) {
            FClock->Resume();
        }
        Timer->start();
    } else if (!FClock->Suspended()) {
        FClock->Suspend();
    }
}

// ---- Profiles ----

void TformMain::But_SaveClick()
{
    FProfiles->But_SaveClick();
}

void TformMain::Ed_NazevEnter()
{
    Ed_Nazev->setPalette(QPalette());
    Ed_Nazev->setAutoFillBackground(false);
}

// ---- Status bar ----

void TformMain::StatusBarClick()
{
    if (FOpenUrl) {
        FOpenUrl(QString::fromLatin1(TiktakonHomePage));
    }
}

// ---- Keys ----

bool TformMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn && watched == Ed_Nazev) {
        Ed_NazevEnter();
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        (watched == StatusBar || std::find(FPanels.begin(), FPanels.end(), watched) != FPanels.end())) {
        Guard([this] { StatusBarClick(); });
        return true;
    }
    // A click on the beat number is a tap of the tempo.
    if (event->type() == QEvent::MouseButtonPress && watched == pnlCisla &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        const auto stamp = static_cast<std::int64_t>(static_cast<QMouseEvent*>(event)->timestamp());
        Guard([this, stamp] { TapTempoAt(stamp); });
        return true;
    }
    if (event->type() == QEvent::KeyPress && FStartedUp) {
        return ApplicationShortCut(watched, static_cast<QKeyEvent*>(event));
    }
    return QWidget::eventFilter(watched, event);
}

bool TformMain::IsTextField(QWidget* focus) const
{
    auto* edit = qobject_cast<QLineEdit*>(focus);
    if (!edit) {
        return false;
    }
    // Words and paths are typed with blanks and letters: the name, the wave paths, the choosers' fields.
    if (edit == Ed_Nazev || (FConfig && (edit == FConfig->Ed_Path1 || edit == FConfig->Ed_Path2))) {
        return true;
    }
    for (QWidget* w = focus; w; w = w->parentWidget()) {
        if (qobject_cast<QFileDialog*>(w) || qobject_cast<QInputDialog*>(w) || qobject_cast<QColorDialog*>(w)) {
            return true;
        }
    }
    return false;
}

void TformMain::TapTempoAt(std::int64_t ms)
{
    if (const std::optional<int> tempo = FTapTempo.Tap(ms)) {
        SpEd_Time->SetValue(*tempo);
    }
}

bool TformMain::ApplicationShortCut(QObject* receiver, QKeyEvent* event)
{
    QWidget* focus = QApplication::focusWidget();
    // A key ignored by a control travels up through its parents: act on it once, where it was aimed.
    if (receiver != focus) {
        return false;
    }
    // A spin box's own line edit stands for the spin box.
    if (focus && focus->parentWidget() && qobject_cast<QAbstractSpinBox*>(focus->parentWidget())) {
        focus = focus->parentWidget();
    }
    const int key = event->key();
    const bool keypad = IsKeypad(event);

    if (key == Qt::Key_Space && !keypad) {
        if (IsTextField(focus)) {
            return false;
        }
        if (!event->isAutoRepeat()) {
            Guard([this] { btnStartStopClick(); });
        }
        return true;
    }
    // T taps the tempo wherever Space starts the beat; the tempo and rhythm boxes included.
    if (key == Qt::Key_T && event->modifiers() == Qt::NoModifier) {
        if (IsTextField(focus)) {
            return false;
        }
        if (!event->isAutoRepeat()) {
            const auto stamp = static_cast<std::int64_t>(event->timestamp());
            Guard([this, stamp] { TapTempoAt(stamp); });
        }
        return true;
    }
    if (keypad && key >= Qt::Key_0 && key <= Qt::Key_9) {
        if (focus == Ed_Nazev || focus == SpB_Beat || focus == SpEd_Time) {
            return false;
        }
        if (!event->isAutoRepeat()) {
            Guard([&] { FProfiles->KeypadDigit(key - Qt::Key_0); });
        }
        return true;
    }
    // Ctrl+1..8 toggles the accent of that beat, as a click on its light does; beats beyond the
    // rhythm have no light.
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier && key >= Qt::Key_1 &&
        key <= Qt::Key_8 && focus && focus->window() == this) {
        const int position = key - Qt::Key_1;
        if (!event->isAutoRepeat() && position < SpB_Beat->Value()) {
            Guard([&] { shpOneMouseUp(FShapes[position]); });
        }
        return true;
    }
    // F1 opens the user page, as a click on the status bar does, for those without a mouse.
    if (key == Qt::Key_F1 && event->modifiers() == Qt::NoModifier && focus && focus->window() == this) {
        if (!event->isAutoRepeat()) {
            Guard([this] { StatusBarClick(); });
        }
        return true;
    }
    if (keypad && (key == Qt::Key_Plus || key == Qt::Key_Minus)) {
        Guard([&] { SpEd_Time->SetValue(SpEd_Time->Value() + (key == Qt::Key_Plus ? 1 : -1)); });
        return true;
    }
    // Enter: a focused push button is pressed; anywhere else in the main window it is Start/Stop.
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && focus && focus->window() == this) {
        if (auto* button = qobject_cast<QAbstractButton*>(focus);
            button && !qobject_cast<QCheckBox*>(focus)) {
            if (!event->isAutoRepeat()) {
                button->click();
            }
            return true;
        }
        if (!event->isAutoRepeat()) {
            Guard([this] { btnStartStopClick(); });
        }
        return true;
    }
    return false;
}
