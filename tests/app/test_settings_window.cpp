// The settings file and the settings dialog on the real windows.
#include "AppFixture.h"
#include "TestFiles.h"

#include "AudioOut.h"
#include "Clock.h"
#include "Midi.h"
#include "ProfileFile.h"
#include "ProfileList.h"
#include "Shape.h"
#include "SpinEdit.h"
#include "TrackBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QButtonGroup>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

namespace {

void StoreProfiles(const QString& dir, const QList<std::tuple<QString, int, int>>& profiles)
{
    ProfileFile file(dir + QStringLiteral("/profiles.mtr"));
    for (const auto& [name, rhythm, tempo] : profiles) {
        TProfileRecord record;
        record.SetName(name);
        record.SetRhythm(rhythm);
        record.SetTempo(tempo);
        file.Append(record);
    }
}

// Runs `inside` while the settings dialog is open, then closes it with `result` (1 = OK).
void WithDialog(AppFixture& f, const std::function<void()>& inside, int result)
{
    bool ran = false;
    QTimer::singleShot(0, f.FConfig.get(), [&] {
        QTRY_VERIFY(f.FConfig->isVisible());
        inside();
        ran = true;
        if (result == 1) {
            f.FConfig->btnOk->click();
        } else {
            f.FConfig->close(); // the close box
        }
    });
    f.FMain->btnSetupClick();
    QVERIFY(ran);
}

void PressSpaceInDialog(AppFixture& f)
{
    f.FConfig->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), f.FConfig.get());
    f.FConfig->btnTest->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), f.FConfig->btnTest);
    QTest::keyClick(f.FConfig->btnTest, Qt::Key_Space);
}

} // namespace

class TestSettingsWindow final : public QObject
{
    Q_OBJECT

private slots:
    void firstStartGivesEveryDefaultAndCloseWritesThem()
    {
        AppFixture f;
        QCOMPARE(f.FMain->SpB_Beat->Value(), 4);
        QCOMPARE(f.FMain->SpEd_Time->Value(), 100);
        QCOMPARE(f.FMain->trbTime->value(), 100);
        QVERIFY(!f.FMain->chkMute->isChecked());
        QCOMPARE(f.FConfig->SoundMode(), 1);
        QVERIFY(f.FMain->pnlShapes->isVisibleTo(f.FMain.get()));
        QVERIFY(f.FMain->pnlCisla->isVisibleTo(f.FMain.get()));
        QVERIFY(f.FMain->Pnl_Image->isVisibleTo(f.FMain.get()));
        QVERIFY(!f.FMain->ChB_Accents->isChecked());
        QCOMPARE(f.FMain->FBeatColour, TColor(255));
        QCOMPARE(f.FMain->FAccentColour, TColor(16711935));
        QVERIFY(!f.FConfig->ChB_Real->isChecked());
        for (int column = 1; column <= 4; ++column) {
            QCOMPARE(f.FMain->Grid->columnWidth(column), 60);
        }
        QCOMPARE(QFile(f.FDir + "/profiles.mtr").size(), 0);
        QVERIFY(f.FMain->FClock->Suspended());
        f.Close();
        QCOMPARE(QString::fromUtf8(ReadAll(f.FDir + "/tiktakon.ini")),
                 QStringLiteral(
                     "[profil]\nselected=-1\n"
                     "[metro]\nrytmus=4\ntempo=100\nmute=0\n"
                     "[zvuk]\nmode=1\nmididevice=0\nmidisound1=0\nmidisound2=0\nwavepath1=\nwavepath2=\n"
                     "[visual]\nsvetla=1\ncisla=1\nkruh=1\ndurazy=0\n"
                     "[barva]\ndoby=255\ndurazy=16711935\n"
                     "[blbost]\nrealdrummer=0\n"
                     "[grid]\n1=60\n2=60\n3=60\n4=60\n"
                     "[casovani]\nposun=0\n"
                     "[cviceni]\npredtakt=0\nvynechat=0\nhrat=4\nticho=4\nnahodne=30\nhlasitost=100\n"
                     "zrychlovani=0\nkrok=5\nkazdych=4\ncil=160\ndeleni=1\ndeleni_uroven=50\ndeleni_nastroj=42\nokno=0\n"));
    }

    void storedProfileWinsOverTheFreeTempo()
    {
        QTemporaryDir dir;
        StoreProfiles(dir.path(), {{"First", 3, 60}, {"Second", 5, 90}, {"Third", 7, 150}});
        QVERIFY(WriteAll(dir.path() + "/tiktakon.ini",
                         "[profil]\nselected=2\n[metro]\nrytmus=2\ntempo=44\nmute=1\n"));
        AppFixture f(false, dir.path());
        QCOMPARE(f.FMain->SpB_Beat->Value(), 7);
        QCOMPARE(f.FMain->trbTime->value(), 150);
        QCOMPARE(f.FMain->FClock->FTempo(), 150);
        QVERIFY(!f.FMain->chkMute->isChecked());
        QCOMPARE(f.FMain->windowTitle(), QStringLiteral("Tiktakon - Third"));
        QCOMPARE(f.FMain->Grid->CurrentGridRow(), 3);
        QCOMPARE(f.FMain->FCurrentProfile, 2);
        // With a profile current, closing leaves the free tempo as it was.
        f.FMain->trbTime->setValue(180);
        f.Close();
        const QByteArray ini = ReadAll(dir.path() + "/tiktakon.ini");
        QVERIFY(ini.startsWith("[profil]\nselected=2\n[metro]\nrytmus=2\ntempo=44\nmute=1\n"));
    }

    void storedValuesAreBroughtIntoRange_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("check");
        QTest::newRow("tempo 300") << QByteArray("[metro]\ntempo=300\n") << "tempo208";
        QTest::newRow("tempo abc") << QByteArray("[metro]\ntempo=abc\n") << "tempo100";
        QTest::newRow("mute 2") << QByteArray("[metro]\nmute=2\n") << "muted";
        QTest::newRow("lights off") << QByteArray("[visual]\nsvetla=0\n") << "nolights";
        QTest::newRow("mode 0x3") << QByteArray("[zvuk]\nmode=0x3\n") << "mode3";
        QTest::newRow("rhythm 12") << QByteArray("[METRO]\nRytmus=12\n") << "rhythm8";
    }
    void storedValuesAreBroughtIntoRange()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, check);
        QTemporaryDir dir;
        QVERIFY(WriteAll(dir.path() + "/tiktakon.ini", ini));
        AppFixture f(false, dir.path());
        if (check == "tempo208") {
            QCOMPARE(f.FMain->trbTime->value(), 208);
            QCOMPARE(f.FMain->SpEd_Time->Value(), 208);
            QCOMPARE(f.FMain->FClock->FTempo(), 208);
        } else if (check == "tempo100") {
            QCOMPARE(f.FMain->trbTime->value(), 100);
        } else if (check == "muted") {
            QVERIFY(f.FMain->chkMute->isChecked());
        } else if (check == "nolights") {
            QVERIFY(!f.FMain->pnlShapes->isVisibleTo(f.FMain.get()));
            QVERIFY(!f.FConfig->ChB_Lights->isChecked());
        } else if (check == "mode3") {
            QCOMPARE(f.FConfig->SoundMode(), 3);
        } else if (check == "rhythm8") {
            QCOMPARE(f.FMain->SpB_Beat->Value(), 8);
        }
        QVERIFY(f.FMessages.isEmpty());
    }

    // The timing page keeps the display offset in a section of its own, brought into -500..500.
    void displayOffsetIsReadIntoItsRangeAndWrittenBack_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("later") << QByteArray("120") << 120;
        QTest::newRow("earlier") << QByteArray("-35") << -35;
        QTest::newRow("far too late") << QByteArray("9999") << 500;
        QTest::newRow("far too early") << QByteArray("-9999") << -500;
        QTest::newRow("not a number") << QByteArray("hned") << 0;
    }
    void displayOffsetIsReadIntoItsRangeAndWrittenBack()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, shown);
        QTemporaryDir dir;
        QVERIFY(
            WriteAll(dir.path() + "/tiktakon.ini", "[metro]\ntempo=120\n[casovani]\nposun=" + stored + "\n"));
        AppFixture f(false, dir.path());
        QCOMPARE(f.FConfig->PageControl1->tabText(2), QStringLiteral("Č&asování"));
        QCOMPARE(f.FConfig->SpE_Posun->value(), shown);
        QCOMPARE(f.FMain->DisplayOffsetMs(), shown);
        f.Close();
        QVERIFY(ReadAll(dir.path() + "/tiktakon.ini")
                    .contains("[casovani]\nposun=" + QByteArray::number(shown) + "\n"));
    }

    // The practice page keeps the volume in a section of its own, brought into 0..100 %, and the
    // sound follows it at once.
    void volumeIsReadIntoItsRangeAppliedAndWrittenBack_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<int>("shown");
        QTest::newRow("35 %") << QByteArray("[cviceni]\nhlasitost=35\n") << 35;
        QTest::newRow("silent") << QByteArray("[cviceni]\nhlasitost=0\n") << 0;
        QTest::newRow("too loud") << QByteArray("[cviceni]\nhlasitost=150\n") << 100;
        QTest::newRow("below silent") << QByteArray("[cviceni]\nhlasitost=-5\n") << 0;
        QTest::newRow("missing: full") << QByteArray() << 100;
    }
    void volumeIsReadIntoItsRangeAppliedAndWrittenBack()
    {
        QFETCH(QByteArray, section);
        QFETCH(int, shown);
        QTemporaryDir dir;
        QVERIFY(WriteAll(dir.path() + "/tiktakon.ini", "[metro]\ntempo=120\n" + section));
        AudioOut::Instance().SetVolumePercent(77);
        AppFixture f(false, dir.path());
        QCOMPARE(f.FConfig->PageControl1->tabText(3), QStringLiteral("&Cvičení"));
        QCOMPARE(f.FConfig->SpE_Hlasitost->value(), shown);
        QCOMPARE(AudioOut::Instance().Volume(), static_cast<float>(shown * shown) / 10000.0f);
        f.FConfig->SpE_Hlasitost->setValue(50);
        QCOMPARE(AudioOut::Instance().Volume(), 0.25f);
        f.FConfig->SpE_Hlasitost->setValue(shown);
        f.Close();
        QVERIFY(ReadAll(dir.path() + "/tiktakon.ini").contains("hlasitost=" + QByteArray::number(shown) + "\n"));
        AudioOut::Instance().SetVolumePercent(100);
    }

    void deletedStoredProfileIsReportedOnceAndForgotten()
    {
        QTemporaryDir dir;
        StoreProfiles(dir.path(), {{"A", 3, 60}, {"B", 5, 90}});
        QVERIFY(
            WriteAll(dir.path() + "/tiktakon.ini",
                     "[profil]\nselected=5\n[metro]\nrytmus=3\ntempo=150\n[zvuk]\nmode=4\n[barva]\ndoby=123\n"
                     "[grid]\n2=77\n"));
        AppFixture f(false, dir.path());
        QCOMPARE(f.FMessages, QStringList{"Read beyond end of file."});
        QCOMPARE(f.FMain->FCurrentProfile, -1);
        QCOMPARE(f.FMain->SpB_Beat->Value(), 3);
        QCOMPARE(f.FMain->trbTime->value(), 150);
        QCOMPARE(f.FConfig->SoundMode(), 4);
        QCOMPARE(f.FMain->FBeatColour, TColor(123));
        QCOMPARE(f.FMain->Grid->columnWidth(2), 77);
        QVERIFY(f.FMain->FClock->HasOnTick()); // the start-up went on to its end
        f.Close();
        const QByteArray ini = ReadAll(dir.path() + "/tiktakon.ini");
        QVERIFY(ini.startsWith("[profil]\nselected=-1\n[metro]\nrytmus=3\ntempo=150\n"));
        QVERIFY(ini.contains("doby=123\n"));
        // The next start is quiet.
        AppFixture again(false, dir.path());
        QVERIFY(again.FMessages.isEmpty());
    }

    void unwritableSettingsFileIsReportedAndTheWindowStillCloses()
    {
        QTemporaryDir dir;
        const QString ini = dir.path() + "/tiktakon.ini";
        QVERIFY(WriteAll(ini, "[metro]\ntempo=120\n"));
        QFile::setPermissions(ini, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        AppFixture f(false, dir.path());
        f.FMain->btnStartStopClick();
        f.Close();
        QCOMPARE(f.FMessages, QStringList{QStringLiteral("Unable to write to %1.").arg(ini)});
        QVERIFY(!f.FMain->isVisible());
        QVERIFY(f.FMain->FClock->Finished());
        QVERIFY(!f.FMain->FMidiTick);
        QCOMPARE(ReadAll(ini), QByteArray("[metro]\ntempo=120\n"));
    }

    void dialogPausesTheBeatAndTheRunTime_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("running") << true;
        QTest::newRow("stopped") << false;
    }
    void dialogPausesTheBeatAndTheRunTime()
    {
        QFETCH(bool, running);
        AppFixture f;
        if (running) {
            f.FMain->btnStartStopClick();
        }
        WithDialog(
            f,
            [&] {
                QVERIFY(f.FMain->FClock->Suspended());
                QVERIFY(!f.FMain->Timer->isActive());
                QVERIFY(!f.FMain->FMidiTick); // closed for the time of the dialog
            },
            2);
        QCOMPARE(!f.FMain->FClock->Suspended(), running);
        QCOMPARE(f.FMain->Timer->isActive(), running);
        QCOMPARE(static_cast<bool>(f.FMain->FMidiTick), running);
        QCOMPARE(f.FMain->FClock->SuspendCount(), running ? 0 : 1);
    }

    void colourChosenInTheDialogColoursTheNextBeat()
    {
        AppFixture f;
        f.FMain->SpB_Beat->SetValue(4);
        f.FMain->btnStartStopClick();
        f.FConfig->FChooseColour = [](const QColor&) { return std::optional<QColor>(QColor(0, 128, 0)); };
        WithDialog(
            f, [&] { f.FConfig->Panel1Click(); }, 2);
        f.Beat();
        QCOMPARE(f.FMain->FShapes[0]->BrushColor(), TColor(0x008000));
    }

    void realDrummerOffEndsTheDrift()
    {
        AppFixture f;
        f.FMain->SpB_Beat->SetValue(4);
        f.FConfig->ChB_Real->setChecked(true);
        f.FMain->btnStartStopClick();
        f.Beat(17);
        QCOMPARE(f.FMain->FClock->FTempo(), 110);
        WithDialog(
            f, [&] { QTest::mouseClick(f.FConfig->ChB_Real, Qt::LeftButton, {}, QPoint(5, 8)); }, 1);
        QVERIFY(!f.FConfig->ChB_Real->isChecked());
        QCOMPARE(f.FMain->FClock->FTempo(), 100);
        QVERIFY(!f.FMain->Image_Smile->isVisibleTo(f.FMain.get()));
        QVERIFY(!f.FMain->FDrummer);
    }

    void testOutputClosesBeforeTheMainOutputOpens()
    {
        AppFixture f;
        f.FConfig->SetSoundMode(3);
        f.FConfig->cboMidiSound1->setCurrentIndex(0); // Acoustic Snare, 38
        WithDialog(
            f,
            [&] {
                f.FConfig->btnTestClick();
                QVERIFY(f.FConfig->TestTick());
                f.FConfig->btnTestClick();
                QVERIFY(f.FConfig->TestTick());
            },
            1);
        QVERIFY(!f.FConfig->TestTick());
        QVERIFY(f.FMain->FMidiTick);
        QCOMPARE(int(f.FMain->FMidiTick->FNote()), 38);
        QCOMPARE(int(f.FMain->FMidiTick->FChannel()), 9);
    }

    void closingWithoutOkKeepsTheEarlierInstrument()
    {
        AppFixture f;
        f.FMain->btnStartStopClick(); // opens the output with Claves? no: the stored index 0
        const int before = f.FMain->FMidiTick->FNote();
        WithDialog(
            f, [&] { f.FConfig->cboMidiSound1->setCurrentIndex(5); }, 2);
        QCOMPARE(int(f.FMain->FMidiTick->FNote()), before);
        WithDialog(
            f, [] {}, 1);
        QCOMPARE(int(f.FMain->FMidiTick->FNote()), 75);
    }

    // Start/Stop pressed inside the dialog: afterwards the beat runs exactly when the button says so.
    void spaceInsideTheDialog_data()
    {
        QTest::addColumn<bool>("runningBefore");
        QTest::addColumn<int>("presses");
        QTest::addColumn<bool>("runningAfter");
        QTest::newRow("running, once: restarted") << true << 1 << true;
        QTest::newRow("running, twice: stopped") << true << 2 << false;
        QTest::newRow("stopped, once: starts at close") << false << 1 << true;
        QTest::newRow("stopped, twice") << false << 2 << true;
        QTest::newRow("stopped, three times") << false << 3 << false;
    }
    void spaceInsideTheDialog()
    {
        QFETCH(bool, runningBefore);
        QFETCH(int, presses);
        QFETCH(bool, runningAfter);
        AppFixture f;
        if (runningBefore) {
            f.FMain->btnStartStopClick();
        }
        WithDialog(
            f,
            [&] {
                for (int i = 0; i < presses; ++i) {
                    PressSpaceInDialog(f);
                }
            },
            2);
        const bool saysStop = f.FMain->btnStartStop->text() == QStringLiteral("&Stop");
        QCOMPARE(saysStop, runningAfter);
        QCOMPARE(!f.FMain->FClock->Suspended(), runningAfter);
        QCOMPARE(f.FMain->Timer->isActive(), runningAfter);
        // One output at most, and Stop and Start still work as before.
        f.FMain->btnStartStopClick();
        QCOMPARE(!f.FMain->FClock->Suspended(), !runningAfter);
    }

    // Tab walks each page of the dialog in its order, round to OK again; the sound choices are
    // one stop, the chosen one, as a group of radio buttons is.
    void tabWalksTheDialogInOrder_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("Zvuk, own waves") << 0
                                         << QStringList{"btnOk", "PageControl1", "Vlastní", "Ed_Path1", "But_Browse",
                                                        "Ed_Path2", "Button1", "btnTest", "btnOk"};
        QTest::newRow("Zobrazení") << 1
                                   << QStringList{"btnOk", "PageControl1", "ChB_Lights", "ChB_Numbers", "ChB_Circle",
                                                  "Panel1", "Panel2", "ChB_Real", "btnOk"};
        QTest::newRow("Časování") << 2 << QStringList{"btnOk", "PageControl1", "SpE_Posun", "btnOk"};
        QTest::newRow("Cvičení") << 3
                                 << QStringList{"btnOk",       "PageControl1",    "SpE_Hlasitost", "cboPredtakt",
                                                "cboVynechat", "ChB_Zrychlovani", "cboDeleni",     "btnOk"};
        // Silent bars by pattern, the trainer on, subdivisions: what they use joins the walk.
        QTest::newRow("Cvičení, everything on")
            << 4
            << QStringList{"btnOk",     "PageControl1", "SpE_Hlasitost", "cboPredtakt", "cboVynechat",
                           "SpE_Hrat",  "SpE_Ticho",    "ChB_Zrychlovani", "SpE_Okno", "SpE_Cil", "SpE_Krok",
                           "SpE_Kazdych", "cboDeleni",  "SpE_Uroven",    "cboNastroj",  "btnOk"};
    }
    void tabWalksTheDialogInOrder()
    {
        QFETCH(int, page);
        QFETCH(QStringList, order);
        AppFixture f;
        TformConfig& c = *f.FConfig;
        const QList<std::pair<QWidget*, QString>> names = {
            {c.btnOk, "btnOk"},           {c.PageControl1, "PageControl1"}, {c.optZvuk->button(4), "Vlastní"},
            {c.Ed_Path1, "Ed_Path1"},     {c.But_Browse, "But_Browse"},     {c.Ed_Path2, "Ed_Path2"},
            {c.Button1, "Button1"},       {c.btnTest, "btnTest"},           {c.ChB_Lights, "ChB_Lights"},
            {c.ChB_Numbers, "ChB_Numbers"}, {c.ChB_Circle, "ChB_Circle"},   {c.Panel1, "Panel1"},
            {c.Panel2, "Panel2"},         {c.ChB_Real, "ChB_Real"},         {c.SpE_Posun, "SpE_Posun"},
            {c.SpE_Hlasitost, "SpE_Hlasitost"}, {c.cboPredtakt, "cboPredtakt"},
            {c.cboVynechat, "cboVynechat"}, {c.SpE_Hrat, "SpE_Hrat"}, {c.SpE_Ticho, "SpE_Ticho"},
            {c.ChB_Zrychlovani, "ChB_Zrychlovani"}, {c.SpE_Okno, "SpE_Okno"}, {c.SpE_Cil, "SpE_Cil"}, {c.SpE_Krok, "SpE_Krok"},
            {c.SpE_Kazdych, "SpE_Kazdych"}, {c.cboDeleni, "cboDeleni"}, {c.SpE_Uroven, "SpE_Uroven"},
            {c.cboNastroj, "cboNastroj"}};
        // The tab bar stands for the tab control, a spin box's line edit for the spin box.
        const auto name = [&](QWidget* focus) {
            QWidget* w = focus;
            if (w && (qobject_cast<QTabBar*>(w) || qobject_cast<QAbstractSpinBox*>(w->parentWidget()))) {
                w = w->parentWidget();
            }
            for (const auto& [widget, text] : names) {
                if (widget == w) {
                    return text;
                }
            }
            return focus ? QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(focus->metaObject()->className()),
                                                          focus->property("text").toString())
                         : QStringLiteral("none");
        };
        QStringList walked;
        WithDialog(
            f,
            [&] {
                c.optZvuk->button(4)->click();
                if (page == 4) {
                    PracticeSettings all;
                    all.FSilentMode = 1;
                    all.FTrainer = 1;
                    all.FSubdivision = 2;
                    c.ShowPractice(all);
                }
                c.PageControl1->setCurrentIndex(std::min(page, 3));
                c.activateWindow();
                QTRY_COMPARE(QApplication::activeWindow(), &c);
                c.btnOk->setFocus();
                walked << name(QApplication::focusWidget());
                for (int i = 1; i < order.size(); ++i) {
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                    walked << name(QApplication::focusWidget());
                }
            },
            2);
        QCOMPARE(walked.join(QStringLiteral(" > ")), order.join(QStringLiteral(" > ")));
    }

    // Enter presses the button that has the focus, and OK wherever no button has it.
    void enterPressesTheFocusedButton_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("pressed");
        QTest::newRow("OK") << "btnOk" << "ok";
        QTest::newRow("Test") << "btnTest" << "test";
        QTest::newRow("Procházet, normální") << "But_Browse" << "file";
        QTest::newRow("Procházet, důraz") << "Button1" << "file";
        QTest::newRow("Barva doby") << "Panel1" << "colour";
        QTest::newRow("Barva důrazu") << "Panel2" << "colour";
        QTest::newRow("a check box") << "ChB_Lights" << "ok";
        QTest::newRow("a path") << "Ed_Path1" << "ok";
        QTest::newRow("the offset") << "SpE_Posun" << "ok";
    }
    void enterPressesTheFocusedButton()
    {
        QFETCH(QString, focus);
        QFETCH(QString, pressed);
        AppFixture f;
        TformConfig& c = *f.FConfig;
        const QMap<QString, std::pair<QWidget*, int>> targets = {
            {"btnOk", {c.btnOk, 0}},       {"btnTest", {c.btnTest, 0}},       {"But_Browse", {c.But_Browse, 0}},
            {"Button1", {c.Button1, 0}},   {"Panel1", {c.Panel1, 1}},         {"Panel2", {c.Panel2, 1}},
            {"ChB_Lights", {c.ChB_Lights, 1}}, {"Ed_Path1", {c.Ed_Path1, 0}}, {"SpE_Posun", {c.SpE_Posun, 2}}};
        QStringList seen;
        c.FChooseFile = [&](const QString&) {
            seen << QStringLiteral("file");
            return QString();
        };
        c.FChooseColour = [&](const QColor&) {
            seen << QStringLiteral("colour");
            return std::optional<QColor>();
        };
        connect(c.btnTest, &QPushButton::clicked, this, [&] { seen << QStringLiteral("test"); });
        connect(&c, &QDialog::accepted, this, [&] { seen << QStringLiteral("ok"); });
        bool stillOpen = false;
        WithDialog(
            f,
            [&] {
                c.optZvuk->button(4)->click();
                const auto [widget, page] = targets.value(focus);
                c.PageControl1->setCurrentIndex(page);
                c.activateWindow();
                QTRY_COMPARE(QApplication::activeWindow(), &c);
                widget->setFocus();
                QTRY_VERIFY(widget->hasFocus());
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                stillOpen = c.isVisible();
            },
            2);
        QCOMPARE(seen, QStringList{pressed});
        QCOMPARE(stillOpen, pressed != QStringLiteral("ok"));
    }

    void shortcutsDoNothingWhileTheDialogIsOpen()
    {
        AppFixture f;
        f.FMain->Ed_Nazev->setText(QStringLiteral("Rock"));
        WithDialog(
            f,
            [&] {
                QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : f.FConfig.get();
                QTest::keyClick(target, Qt::Key_S, Qt::ControlModifier);
                QTest::keyClick(target, Qt::Key_O, Qt::ControlModifier);
            },
            2);
        QCOMPARE(QFile(f.FDir + "/profiles.mtr").size(), 0);
        QCOMPARE(f.FMain->windowTitle(), QStringLiteral("Tiktakon"));
    }

    void everySettingSurvivesARestart()
    {
        QTemporaryDir dir;
        StoreProfiles(dir.path(), {{"Only", 3, 60}});
        {
            AppFixture f(false, dir.path());
            f.FMain->SpB_Beat->SetValue(6);
            f.FMain->trbTime->setValue(133);
            f.FMain->chkMute->setChecked(true);
            f.FMain->ChB_Accents->setChecked(true);
            f.FConfig->SetSoundMode(4);
            f.FConfig->cboMidiSound1->setCurrentIndex(7);
            f.FConfig->cboMidiSound2->setCurrentIndex(9);
            f.FConfig->Ed_Path1->setText(QStringLiteral("/tmp/a b/klik.wav"));
            f.FConfig->Ed_Path2->setText(QStringLiteral("/tmp/důraz.wav"));
            f.FMain->SetLightsShown(false);
            f.FMain->SetCircleShown(false);
            f.FMain->FBeatColour = 0x00FF00;
            f.FMain->FAccentColour = 0x123456;
            f.FConfig->ChB_Real->setChecked(true);
            f.FMain->Grid->setColumnWidth(3, 91);
        }
        AppFixture f(false, dir.path());
        QCOMPARE(f.FMain->SpB_Beat->Value(), 6);
        QCOMPARE(f.FMain->trbTime->value(), 133);
        QCOMPARE(f.FMain->FClock->FTempo(), 133);
        QVERIFY(f.FMain->chkMute->isChecked());
        QVERIFY(f.FMain->ChB_Accents->isChecked());
        QCOMPARE(f.FConfig->SoundMode(), 4);
        QCOMPARE(f.FConfig->cboMidiSound1->currentIndex(), 7);
        QCOMPARE(f.FConfig->cboMidiSound2->currentIndex(), 9);
        QCOMPARE(f.FConfig->Ed_Path1->text(), QStringLiteral("/tmp/a b/klik.wav"));
        QCOMPARE(f.FConfig->Ed_Path2->text(), QStringLiteral("/tmp/důraz.wav"));
        QVERIFY(!f.FMain->pnlShapes->isVisibleTo(f.FMain.get()));
        QVERIFY(f.FMain->pnlCisla->isVisibleTo(f.FMain.get()));
        QVERIFY(!f.FMain->Pnl_Image->isVisibleTo(f.FMain.get()));
        QCOMPARE(f.FMain->FBeatColour, TColor(0x00FF00));
        QCOMPARE(f.FMain->FAccentColour, TColor(0x123456));
        QVERIFY(f.FConfig->ChB_Real->isChecked());
        QCOMPARE(f.FMain->Grid->columnWidth(3), 91);
        QCOMPARE(f.FMain->FCurrentProfile, -1);
    }

    void otherLinesOfTheSettingsFileSurvive()
    {
        QTemporaryDir dir;
        const QByteArray foreign = "; written by hand\r\n[mine]\r\nkey = value with blanks\r\n";
        QVERIFY(WriteAll(dir.path() + "/tiktakon.ini", foreign + "[metro]\r\ntempo=90\r\nextra=1\r\n"));
        {
            AppFixture f(false, dir.path());
            QCOMPARE(f.FMain->trbTime->value(), 90);
        }
        const QByteArray ini = ReadAll(dir.path() + "/tiktakon.ini");
        QVERIFY(ini.startsWith(foreign + "[metro]\r\ntempo=90\r\nextra=1\r\n") ||
                ini.startsWith(foreign + "[metro]\r\n"));
        QVERIFY(ini.contains("extra=1\r\n"));
        QVERIFY(ini.contains("key = value with blanks\r\n"));
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "test_settings_window.moc"
