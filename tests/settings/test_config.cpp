#include "Config.h"
#include "ConfigHost.h"
#include "Midi.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// The main window as the dialog sees it, recording every call.
class RecordingHost final : public ConfigHost
{
public:
    QStringList calls;
    void ShowLights(bool shown) override { calls << QStringLiteral("ShowLights %1").arg(shown); }
    void ShowNumbers(bool shown) override { calls << QStringLiteral("ShowNumbers %1").arg(shown); }
    void ShowCircle(bool shown) override { calls << QStringLiteral("ShowCircle %1").arg(shown); }
    void SetBeatColour(TColor colour) override
    {
        calls << QStringLiteral("SetBeatColour %1").arg(colour, 6, 16, QChar(u'0'));
    }
    void SetAccentColour(TColor colour) override
    {
        calls << QStringLiteral("SetAccentColour %1").arg(colour, 6, 16, QChar(u'0'));
    }
    void EndDrift() override { calls << QStringLiteral("EndDrift"); }
};

// On the box itself: a check box answers clicks on its box and caption only.
const QPoint OnBox(8, 8);

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void windowAndPages();
    void controls_data();
    void controls();
    void midiCaptionsEndBeforeTheirLists();
    void listsAreFilledAtCreation();
    void midiNoteFallsBackToFirstInstrument();
    void groupBoxFollowsSoundMode_data();
    void groupBoxFollowsSoundMode();
    void clickingMidiShowsMidiGroup();
    void setSoundModeClampsAndClears();
    void displaySwitchesCallHostAtOnce();
    void colourChooserSetsColourAndCancelChangesNothing();
    void panelClickNeedsReleaseInside();
    void browseButtonsFillPaths();
    void realDrummerOffEndsDrift();
    void modalResults();
    void dialogIsCentredOverItsOwner();
    void midiTestOutputIsReplacedAndFreedOnHide();

private:
    std::unique_ptr<QWidget> FOwner;
    std::unique_ptr<RecordingHost> FHost;
    TformConfig* FDialog = nullptr;
    RecordingHost FTableHost;
    std::unique_ptr<TformConfig> FTableDialog;
};

void TestConfig::initTestCase()
{
    FTableDialog = std::make_unique<TformConfig>(FTableHost, nullptr);
    FTableDialog->ListMidiDevices();
}

void TestConfig::init()
{
    FOwner = std::make_unique<QWidget>();
    FHost = std::make_unique<RecordingHost>();
    FDialog = new TformConfig(*FHost, FOwner.get());
    FDialog->ListMidiDevices(); // as the main window's start-up does
}

void TestConfig::cleanup()
{
    FOwner.reset(); // takes the dialog with it
    FDialog = nullptr;
    FHost.reset();
}

void TestConfig::windowAndPages()
{
    TformConfig& d = *FDialog;
    QCOMPARE(d.windowTitle(), QStringLiteral("Nastavení"));
    QCOMPARE(d.size(), QSize(385, 229));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QVERIFY(d.windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
    QVERIFY(!(d.windowFlags() & Qt::WindowMinMaxButtonsHint));
    QCOMPARE(d.font().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(d.font().pointSize(), 8);
    QCOMPARE(d.PageControl1->geometry(), QRect(0, 0, 385, 193));
    // The two pages as they always were, then the timing and practice pages after them.
    QCOMPARE(d.PageControl1->count(), 4);
    QCOMPARE(d.PageControl1->tabText(0), QStringLiteral("&Zvuk"));
    QCOMPARE(d.PageControl1->tabText(1), QStringLiteral("Z&obrazení"));
    QCOMPARE(d.PageControl1->tabText(2), QStringLiteral("Č&asování"));
    QCOMPARE(d.PageControl1->tabText(3), QStringLiteral("&Cvičení"));
    QCOMPARE(d.PageControl1->currentIndex(), 0);
    QVERIFY(d.btnOk->isDefault());
    QVERIFY(d.btnCancel->isHidden());
    QCOMPARE(d.SoundMode(), 1);
    QCOMPARE(d.MidiChannel(), 9);
    QVERIFY(d.TestTick() == nullptr);
    // Tab order: OK, the tab control, then the page's controls.
    QCOMPARE(d.btnOk->nextInFocusChain(), d.PageControl1);
}

void TestConfig::controls_data()
{
    QTest::addColumn<QWidget*>("widget");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");

    // The rows name the controls of a dialog of their own, kept for the whole test case.
    TformConfig* const d = FTableDialog.get();
    QTest::newRow("btnOk") << static_cast<QWidget*>(d->btnOk) << QRect(155, 200, 75, 25) << "OK"
                           << "";
    QTest::newRow("btnCancel") << static_cast<QWidget*>(d->btnCancel) << QRect(240, 200, 75, 25) << "Cancel"
                               << "";
    QTest::newRow("optZvuk") << static_cast<QWidget*>(d->optZvukBox) << QRect(5, 8, 129, 124) << " &Zvuk "
                             << "Výběr typu přehrávaného zvuku";
    QTest::newRow("grpMidi") << static_cast<QWidget*>(d->grpMidi) << QRect(140, 8, 233, 124) << "&Midi"
                             << "";
    QTest::newRow("lblMidiDevice") << static_cast<QWidget*>(d->lblMidiDevice) << QRect(8, 23, 45, 17)
                                   << "Z&ařízení:"
                                   << "";
    QTest::newRow("cboMidiDevice") << static_cast<QWidget*>(d->cboMidiDevice) << QRect(54, 19, 171, 21) << ""
                                   << "Výběr MIDI zařízení";
    QTest::newRow("lblMidiSound") << static_cast<QWidget*>(d->lblMidiSound) << QRect(8, 54, 71, 13)
                                  << "&Normální zvuk:"
                                  << "";
    QTest::newRow("cboMidiSound1") << static_cast<QWidget*>(d->cboMidiSound1) << QRect(87, 49, 137, 21) << ""
                                   << "Zvuk pro normání dobu";
    QTest::newRow("Label1") << static_cast<QWidget*>(d->Label1) << QRect(8, 78, 57, 13) << "&Důraz zvuk:"
                            << "";
    QTest::newRow("cboMidiSound2") << static_cast<QWidget*>(d->cboMidiSound2) << QRect(87, 73, 137, 21) << ""
                                   << "Zvuk pro důraznou dobu";
    QTest::newRow("grpVlastni") << static_cast<QWidget*>(d->grpVlastni) << QRect(140, 8, 232, 124)
                                << " &Vlastní "
                                << "";
    QTest::newRow("But_Browse") << static_cast<QWidget*>(d->But_Browse) << QRect(147, 15, 75, 20)
                                << "Procházet ..."
                                << "";
    QTest::newRow("Ed_Path1") << static_cast<QWidget*>(d->Ed_Path1) << QRect(8, 37, 217, 21) << ""
                              << "Zvuk pro normální dobu";
    QTest::newRow("Button1") << static_cast<QWidget*>(d->Button1) << QRect(147, 71, 75, 20) << "Procházet ..."
                             << "";
    QTest::newRow("Ed_Path2") << static_cast<QWidget*>(d->Ed_Path2) << QRect(7, 93, 217, 21) << ""
                              << "Zvuk pro důraznou dobu";
    QTest::newRow("btnTest") << static_cast<QWidget*>(d->btnTest) << QRect(6, 135, 128, 25) << "&Test"
                             << "Test zvukového výstupu";
    QTest::newRow("ChB_Lights") << static_cast<QWidget*>(d->ChB_Lights) << QRect(16, 16, 97, 17) << "Světla"
                                << "Zobrazení blikajících světel, která představují doby v taktu";
    QTest::newRow("ChB_Numbers") << static_cast<QWidget*>(d->ChB_Numbers) << QRect(16, 40, 97, 17)
                                 << "Čísla dob"
                                 << "Číselné zobrazení doby";
    QTest::newRow("ChB_Circle") << static_cast<QWidget*>(d->ChB_Circle) << QRect(16, 64, 97, 17) << "Kruh"
                                << "Podílové zobrazení taktu";
    QTest::newRow("Panel1") << static_cast<QWidget*>(d->Panel1) << QRect(160, 16, 89, 25) << "Barva doby ..."
                            << "Nastavení barvy běžné doby";
    QTest::newRow("Panel2") << static_cast<QWidget*>(d->Panel2) << QRect(160, 48, 89, 25)
                            << "Barva důrazu ..."
                            << "Nastavení barvy důrazné doby";
    QTest::newRow("ChB_Real") << static_cast<QWidget*>(d->ChB_Real) << QRect(16, 124, 97, 17)
                              << "\"Real drummer\""
                              << "Simulátor živého bubeníka :-))";
}

void TestConfig::controls()
{
    QFETCH(QWidget*, widget);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    // A caption wider than its place may widen it to the right, never move it.
    QCOMPARE(widget->pos(), geometry.topLeft());
    QCOMPARE(widget->height(), geometry.height());
    QVERIFY(widget->width() >= geometry.width());
    if (!qobject_cast<QLabel*>(widget) && !qobject_cast<QCheckBox*>(widget))
        QCOMPARE(widget->width(), geometry.width());
    else
        QVERIFY2(widget->sizeHint().width() <= widget->width(), "caption clipped");
    QCOMPARE(widget->toolTip(), hint);
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(widget))
        text = b->text();
    else if (auto* g = qobject_cast<QGroupBox*>(widget))
        text = g->title();
    else if (auto* l = qobject_cast<QLabel*>(widget))
        text = l->text();
    else if (qobject_cast<QFrame*>(widget))
        text = widget->accessibleName();
    if (!caption.isEmpty())
        QCOMPARE(text, caption);
}

void TestConfig::midiCaptionsEndBeforeTheirLists()
{
    TformConfig& d = *FDialog;
    QVERIFY(d.lblMidiDevice->geometry().right() < d.cboMidiDevice->x());
    QVERIFY(d.lblMidiSound->geometry().right() < d.cboMidiSound1->x());
    QVERIFY(d.Label1->geometry().right() < d.cboMidiSound2->x());
}

void TestConfig::listsAreFilledAtCreation()
{
    TformConfig& d = *FDialog;
    QCOMPARE(d.cboMidiSound1->count(), 47);
    QCOMPARE(d.cboMidiSound2->count(), 47);
    QCOMPARE(d.cboMidiSound1->itemText(0), QStringLiteral("Acoustic Snare"));
    QCOMPARE(d.cboMidiSound1->itemData(0).toInt(), 38);
    QCOMPARE(d.cboMidiSound1->itemText(46), QStringLiteral("Vibraslap"));
    QCOMPARE(d.cboMidiSound1->itemData(46).toInt(), 58);
    for (int i = 0; i < 47; ++i) {
        QCOMPARE(d.cboMidiSound2->itemText(i), d.cboMidiSound1->itemText(i));
        QCOMPARE(d.cboMidiSound2->itemData(i), d.cboMidiSound1->itemData(i));
    }
    QCOMPARE(d.cboMidiSound1->currentIndex(), 5);
    QCOMPARE(d.cboMidiSound1->currentText(), QStringLiteral("Claves"));
    QCOMPARE(d.MidiNote(), 75);
    QCOMPARE(d.cboMidiSound2->currentIndex(), -1);
    QVERIFY(!d.cboMidiSound2->isEnabled());
    QVERIFY(!d.Label1->isEnabled());

    const QStringList devices = MidiOutputNames();
    QCOMPARE(d.cboMidiDevice->count(), devices.size());
    for (int i = 0; i < devices.size(); ++i)
        QCOMPARE(d.cboMidiDevice->itemText(i), devices.at(i));
    QCOMPARE(d.cboMidiDevice->currentIndex(), devices.isEmpty() ? -1 : 0);
    QCOMPARE(d.grpMidi->isEnabled(), !devices.isEmpty());
}

void TestConfig::midiNoteFallsBackToFirstInstrument()
{
    TformConfig& d = *FDialog;
    d.cboMidiSound1->setCurrentIndex(46);
    QCOMPARE(d.MidiNote(), 58);
    d.cboMidiSound1->setCurrentIndex(-1);
    QCOMPARE(d.MidiNote(), 38);
}

void TestConfig::groupBoxFollowsSoundMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("midi");
    QTest::addColumn<bool>("own");
    QTest::newRow("none chosen") << -1 << false << false;
    QTest::newRow("no sound") << 0 << false << false;
    QTest::newRow("PC generator") << 1 << false << false;
    QTest::newRow("system gong") << 2 << false << false;
    QTest::newRow("MIDI") << 3 << true << false;
    QTest::newRow("own sound") << 4 << false << true;
}

void TestConfig::groupBoxFollowsSoundMode()
{
    QFETCH(int, mode);
    QFETCH(bool, midi);
    QFETCH(bool, own);
    TformConfig& d = *FDialog;
    // As the settings file does it: the mode is set while the dialog is hidden, then it is shown.
    d.SetSoundMode(mode);
    d.show();
    QCOMPARE(d.grpMidi->isVisible(), midi);
    QCOMPARE(d.grpVlastni->isVisible(), own);
    d.hide();
    // The radio button itself, clicked by the user.
    d.SetSoundMode(mode == 3 ? 4 : 3);
    d.show();
    if (mode >= 0) {
        QTest::mouseClick(d.optZvuk->button(mode), Qt::LeftButton);
        QCOMPARE(d.SoundMode(), mode);
        QCOMPARE(d.grpMidi->isVisible(), midi);
        QCOMPARE(d.grpVlastni->isVisible(), own);
    }
}

void TestConfig::clickingMidiShowsMidiGroup()
{
    TformConfig& d = *FDialog;
    d.SetSoundMode(4);
    d.show();
    QVERIFY(d.grpVlastni->isVisible());
    d.optZvuk->button(3)->click();
    QCOMPARE(d.SoundMode(), 3);
    QVERIFY(d.grpMidi->isVisible());
    QVERIFY(!d.grpVlastni->isVisible());
}

void TestConfig::setSoundModeClampsAndClears()
{
    TformConfig& d = *FDialog;
    d.SetSoundMode(9);
    QCOMPARE(d.SoundMode(), 4);
    d.SetSoundMode(-1);
    QCOMPARE(d.SoundMode(), -1);
    for (QAbstractButton* b : d.optZvuk->buttons())
        QVERIFY(!b->isChecked());
    // The group stays a radio group after being cleared.
    d.optZvuk->button(2)->click();
    d.optZvuk->button(0)->click();
    QCOMPARE(d.SoundMode(), 0);
    QVERIFY(!d.optZvuk->button(2)->isChecked());
    d.SetSoundMode(-7);
    QCOMPARE(d.SoundMode(), -1);
}

void TestConfig::displaySwitchesCallHostAtOnce()
{
    TformConfig& d = *FDialog;
    d.PageControl1->setCurrentIndex(1);
    d.show();
    // Setting a box from the settings file does not act on the main window.
    d.ChB_Lights->setChecked(true);
    d.ChB_Numbers->setChecked(true);
    QVERIFY(FHost->calls.isEmpty());
    QTest::mouseClick(d.ChB_Lights, Qt::LeftButton, {}, OnBox);
    QTest::mouseClick(d.ChB_Numbers, Qt::LeftButton, {}, OnBox);
    QTest::mouseClick(d.ChB_Circle, Qt::LeftButton, {}, OnBox);
    QTest::mouseClick(d.ChB_Lights, Qt::LeftButton, {}, OnBox);
    QCOMPARE(FHost->calls, (QStringList{"ShowLights 0", "ShowNumbers 0", "ShowCircle 1", "ShowLights 1"}));
}

void TestConfig::colourChooserSetsColourAndCancelChangesNothing()
{
    TformConfig& d = *FDialog;
    QList<QColor> offered;
    std::optional<QColor> answer = QColor(0x12, 0x34, 0x56);
    d.FChooseColour = [&](const QColor& last) {
        offered << last;
        return answer;
    };
    d.PageControl1->setCurrentIndex(1);
    d.show();
    QTest::mouseClick(d.Panel1, Qt::LeftButton);
    answer = std::nullopt;
    QTest::mouseClick(d.Panel2, Qt::LeftButton);
    answer = QColor(Qt::green);
    QTest::mouseClick(d.Panel2, Qt::LeftButton);
    QCOMPARE(FHost->calls, (QStringList{"SetBeatColour 563412", "SetAccentColour 00ff00"}));
    // The chooser opens with the colour last chosen with either panel, black at first.
    QCOMPARE(offered, (QList<QColor>{Qt::black, QColor(0x12, 0x34, 0x56), QColor(0x12, 0x34, 0x56)}));
}

void TestConfig::panelClickNeedsReleaseInside()
{
    TformConfig& d = *FDialog;
    int asked = 0;
    d.FChooseColour = [&](const QColor&) -> std::optional<QColor> {
        ++asked;
        return std::nullopt;
    };
    d.PageControl1->setCurrentIndex(1);
    d.show();
    QTest::mousePress(d.Panel1, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(d.Panel1, Qt::LeftButton, {}, QPoint(200, 5));
    QCOMPARE(asked, 0);
    QTest::mouseClick(d.Panel1, Qt::RightButton);
    QCOMPARE(asked, 0);
    QTest::mouseClick(d.Panel1, Qt::LeftButton);
    QCOMPARE(asked, 1);
}

void TestConfig::browseButtonsFillPaths()
{
    TformConfig& d = *FDialog;
    QStringList offered;
    QString answer = QStringLiteral("/snd/normal beat.wav");
    d.FChooseFile = [&](const QString& last) {
        offered << last;
        return answer;
    };
    d.SetSoundMode(4);
    d.show();
    QTest::mouseClick(d.But_Browse, Qt::LeftButton);
    QCOMPARE(d.Ed_Path1->text(), QStringLiteral("/snd/normal beat.wav"));
    answer.clear(); // cancelled
    QTest::mouseClick(d.Button1, Qt::LeftButton);
    QCOMPARE(d.Ed_Path2->text(), QString());
    QTest::mouseClick(d.But_Browse, Qt::LeftButton);
    QCOMPARE(d.Ed_Path1->text(), QStringLiteral("/snd/normal beat.wav"));
    answer = QStringLiteral("/snd/accent.wav");
    QTest::mouseClick(d.Button1, Qt::LeftButton);
    QCOMPARE(d.Ed_Path2->text(), QStringLiteral("/snd/accent.wav"));
    QCOMPARE(offered,
             (QStringList{"", "/snd/normal beat.wav", "/snd/normal beat.wav", "/snd/normal beat.wav"}));
    QVERIFY(FHost->calls.isEmpty());
}

void TestConfig::realDrummerOffEndsDrift()
{
    TformConfig& d = *FDialog;
    d.PageControl1->setCurrentIndex(1);
    d.show();
    QTest::mouseClick(d.ChB_Real, Qt::LeftButton, {}, OnBox);
    QVERIFY(d.ChB_Real->isChecked());
    QVERIFY(FHost->calls.isEmpty());
    QTest::mouseClick(d.ChB_Real, Qt::LeftButton, {}, OnBox);
    QCOMPARE(FHost->calls, QStringList{"EndDrift"});
}

void TestConfig::modalResults()
{
    TformConfig& d = *FDialog;
    FOwner->show();
    bool shownWhenClosed = false;
    const auto closeBy = [&](std::function<void()> action) {
        shownWhenClosed = false;
        QTimer::singleShot(0, &d, [&] {
            shownWhenClosed = d.isVisible();
            action();
        });
        const int result = d.ShowModal();
        return shownWhenClosed ? result : -100;
    };
    QCOMPARE(closeBy([&] { QTest::keyClick(&d, Qt::Key_Escape); }), 0);
    QCOMPARE(closeBy([&] { d.close(); }), 0);
    QCOMPARE(closeBy([&] { QTest::mouseClick(d.btnOk, Qt::LeftButton); }), 1);
    // Enter where no button has the focus presses OK (on a button it presses that button).
    QCOMPARE(closeBy([&] { QTest::keyClick(d.ChB_Real, Qt::Key_Return); }), 1);
    // The page in front when it was closed is in front at the next showing.
    QCOMPARE(closeBy([&] {
                 d.PageControl1->setCurrentIndex(1);
                 d.close();
             }),
             0);
    int pageAtShowing = -1;
    QCOMPARE(closeBy([&] {
                 pageAtShowing = d.PageControl1->currentIndex();
                 d.btnOk->click();
             }),
             1);
    QCOMPARE(pageAtShowing, 1);
    QVERIFY(!d.isVisible());
}

void TestConfig::dialogIsCentredOverItsOwner()
{
    FOwner->setGeometry(100, 80, 700, 500);
    FOwner->show();
    FDialog->show();
    const QPoint offset = FDialog->frameGeometry().center() - FOwner->frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
}

void TestConfig::midiTestOutputIsReplacedAndFreedOnHide()
{
    TformConfig& d = *FDialog;
    d.SetSoundMode(3);
    d.show();
    d.cboMidiSound1->setCurrentIndex(0);
    d.btnTest->click();
    TMidiTick* first = d.TestTick();
    QVERIFY(first != nullptr);
    QCOMPARE(first->FNote(), std::uint8_t(38));
    QCOMPARE(first->FChannel(), std::uint8_t(9));
    QCOMPARE(first->FDeviceId(), static_cast<std::uint32_t>(d.cboMidiDevice->currentIndex()));

    // No device chosen reaches the output as the default port.
    d.cboMidiDevice->setCurrentIndex(-1);
    d.cboMidiSound1->setCurrentIndex(5);
    d.btnTest->click();
    QVERIFY(d.TestTick() != nullptr);
    QCOMPARE(d.TestTick()->FDeviceId(), 0xFFFFFFFFu);
    QCOMPARE(d.TestTick()->FNote(), std::uint8_t(75));

    // Any other mode closes the test output too.
    d.SetSoundMode(0);
    d.btnTest->click();
    QVERIFY(d.TestTick() == nullptr);

    d.SetSoundMode(3);
    d.btnTest->click();
    QVERIFY(d.TestTick() != nullptr);
    d.hide();
    QVERIFY(d.TestTick() == nullptr);
}

QTEST_MAIN(TestConfig)
#include "test_config.moc"
