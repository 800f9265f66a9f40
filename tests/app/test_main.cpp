// The main window: start-up and closing, Start/Stop, the beat handler, keys.
#include "AppFixture.h"

#include "BarCircle.h"
#include "Clock.h"
#include "Error.h"
#include "Shape.h"
#include "SpinEdit.h"
#include "TrackBar.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QtTest>

class TestMain final : public QObject
{
    Q_OBJECT

private:
    static void SetRhythm(AppFixture& f, int n) { f.FMain->SpB_Beat->SetValue(n); }
    static int LitLight(AppFixture& f)
    {
        int lit = -1;
        for (int i = 0; i < 8; ++i) {
            if (f.FMain->FShapes[i]->BrushColor() != clWhite) {
                if (lit >= 0) {
                    return -2; // more than one lit
                }
                lit = i;
            }
        }
        return lit;
    }

private slots:
    void startUpCreatesOneSuspendedClock()
    {
        AppFixture f;
        TClock* clock = f.FMain->FClock.get();
        QVERIFY(clock);
        QVERIFY(clock->Suspended());
        QVERIFY(clock->HasOnTick());
        QCOMPARE(clock->FTempo(), 100);
        // A later activation repeats nothing.
        f.FMain->FormActivate();
        QEvent activation(QEvent::ActivationChange);
        QApplication::sendEvent(f.FMain.get(), &activation);
        QCOMPARE(f.FMain->FClock.get(), clock);
        QCOMPARE(f.FMain->btnStartStop->text(), QStringLiteral("&Start"));
        QVERIFY(f.FMain->Ed_Nazev->hasFocus() || !QApplication::focusWidget());
        QCOMPARE(f.FMain->trbTime->TickMarks().size(), 37);
    }

    void startAndStopSwitchClockTimerAndTexts()
    {
        AppFixture f;
        f.FMain->btnStartStopClick();
        QVERIFY(!f.FMain->FClock->Suspended());
        QVERIFY(f.FMain->Timer->isActive());
        QCOMPARE(f.FMain->btnStartStop->text(), QStringLiteral("&Stop"));
        QCOMPARE(f.Panel(1), QStringLiteral(" Takt:  1"));
        QCOMPARE(f.Panel(2), QStringLiteral(" Čas:  00:00:00"));
        QVERIFY(f.FMain->L_Beat->isVisibleTo(f.FMain.get()));
        QCOMPARE(f.FMain->L_Beat->text(), QStringLiteral("0"));
        QVERIFY(f.FMain->FMidiTick);
        f.Beat(3);
        f.FMain->btnStartStopClick();
        QVERIFY(f.FMain->FClock->Suspended());
        QVERIFY(!f.FMain->Timer->isActive());
        QVERIFY(!f.FMain->L_Beat->isVisibleTo(f.FMain.get()));
        QCOMPARE(f.FMain->FBeatCounter, 0);
        QCOMPARE(f.FMain->FBeatPosition, 0);
        QCOMPARE(f.FMain->FRunTime, 0);
        QCOMPARE(LitLight(f), -1);
    }

    void ticksArriveThroughTheClockAndStopAfterStop()
    {
        AppFixture f;
        const int reads = f.FTime.Reads();
        f.FMain->btnStartStopClick();
        QTRY_VERIFY(f.FTime.Reads() > reads); // the clock has taken the start of its first interval
        // Each beat is decided a look-ahead before its time and shown at its time.
        for (int beat = 1; beat <= 2; ++beat) {
            f.FTime.Advance(600'000 - TClock::LookAheadUs);
            QTRY_COMPARE(f.FMain->FClock->SequenceState().FCounter, beat);
            QCOMPARE(f.FMain->FBeatCounter, beat - 1);
            f.FTime.Advance(TClock::LookAheadUs);
            QTRY_COMPARE(f.FMain->FBeatCounter, beat);
        }
        f.FMain->btnStartStopClick();
        f.FTime.Advance(10'000'000);
        QTest::qWait(50);
        QCOMPARE(f.FMain->FBeatCounter, 0);
    }

    // The main thread busy while three beats are decided and due: it then shows only where the
    // beat is now, with the state the three beats left, and the clock never waited for it.
    void busyMainThreadShowsTheNewestBeatWithItsState()
    {
        AppFixture f;
        SetRhythm(f, 4);
        const int reads = f.FTime.Reads();
        f.FMain->btnStartStopClick();
        QTRY_VERIFY(f.FTime.Reads() > reads);
        for (int beat = 1; beat <= 3; ++beat) {
            f.FTime.Advance(600'000 - TClock::LookAheadUs);
            // No events are processed here: the main thread is busy as far as the clock knows.
            QElapsedTimer wait;
            wait.start();
            while (f.FMain->FClock->SequenceState().FCounter < beat && wait.elapsed() < 5000) {
                QThread::msleep(1);
            }
            QCOMPARE(f.FMain->FClock->SequenceState().FCounter, beat);
            f.FTime.Advance(TClock::LookAheadUs);
        }
        QCOMPARE(f.FMain->FBeatCounter, 0);
        QTRY_COMPARE(f.FMain->FBeatCounter, 3);
        QCOMPARE(f.FMain->L_Beat->text(), QStringLiteral("3"));
        QCOMPARE(LitLight(f), 2);
        QCOMPARE(f.Panel(1), QStringLiteral("Takt:  1"));
        QCOMPARE(f.FMain->FBeatPosition, 3);
    }

    void accentsFollowTheFlags_data()
    {
        QTest::addColumn<bool>("accentsOn");
        QTest::addColumn<QList<int>>("accentedBeats");
        QTest::newRow("accents on") << true << QList<int>{1, 5, 9};
        QTest::newRow("accents off") << false << QList<int>{};
    }
    void accentsFollowTheFlags()
    {
        QFETCH(bool, accentsOn);
        QFETCH(QList<int>, accentedBeats);
        AppFixture f;
        SetRhythm(f, 4);
        QTest::mouseClick(f.FMain->FShapes[0], Qt::LeftButton);
        QCOMPARE(f.FMain->FAccentFlags[0], 1);
        f.FMain->ChB_Accents->setChecked(accentsOn);
        f.FMain->btnStartStopClick();
        QList<int> accented;
        for (int beat = 1; beat <= 12; ++beat) {
            f.Beat();
            const int lit = LitLight(f);
            QCOMPARE(lit, (beat - 1) % 4);
            if (f.FMain->FShapes[lit]->BrushColor() == f.FMain->FAccentColour) {
                accented << beat;
            }
        }
        QCOMPARE(accented, accentedBeats);
    }

    void barStartsShowTheBarNumber_data()
    {
        QTest::addColumn<int>("beatsPerBar");
        QTest::addColumn<QStringList>("texts"); // panel 1 after beats 1..7
        QTest::newRow("1") << 1 << QStringList{"Takt:  1", "Takt:  2", "Takt:  3", "Takt:  4",
                                               "Takt:  5", "Takt:  6", "Takt:  7"};
        QTest::newRow("3") << 3 << QStringList{"Takt:  1", "Takt:  1", "Takt:  1", "Takt:  2",
                                               "Takt:  2", "Takt:  2", "Takt:  3"};
        QTest::newRow("4") << 4 << QStringList{"Takt:  1", "Takt:  1", "Takt:  1", "Takt:  1",
                                               "Takt:  2", "Takt:  2", "Takt:  2"};
    }
    void barStartsShowTheBarNumber()
    {
        QFETCH(int, beatsPerBar);
        QFETCH(QStringList, texts);
        AppFixture f;
        SetRhythm(f, beatsPerBar);
        f.FMain->btnStartStopClick();
        QCOMPARE(f.Panel(1), QStringLiteral(" Takt:  1"));
        for (const QString& text : texts) {
            f.Beat();
            QCOMPARE(f.Panel(1), text);
        }
    }

    void realDrummerDriftsAtItsBars()
    {
        AppFixture f;
        SetRhythm(f, 4);
        f.FConfig->ChB_Real->setChecked(true);
        f.FMain->btnStartStopClick();
        QMap<int, int> tempoAfter;
        for (int beat = 1; beat <= 84; ++beat) {
            f.Beat();
            tempoAfter[beat] = f.FMain->FClock->FTempo();
        }
        QCOMPARE(tempoAfter[16], 100);
        QCOMPARE(tempoAfter[17], 110);
        QCOMPARE(tempoAfter[32], 110);
        QCOMPARE(tempoAfter[33], 100);
        QCOMPARE(tempoAfter[49], 100); // the chance at bar 13 draws 2: no change
        QCOMPARE(tempoAfter[65], 110);
        QCOMPARE(tempoAfter[81], 100);
        // The controls keep showing the tempo the user set.
        QCOMPARE(f.FMain->SpEd_Time->Value(), 100);
        QCOMPARE(f.FMain->trbTime->value(), 100);
    }

    void stopDuringAnUpwardDriftKeepsIt()
    {
        AppFixture f;
        SetRhythm(f, 4);
        f.FConfig->ChB_Real->setChecked(true);
        f.FMain->btnStartStopClick();
        f.Beat(17);
        QVERIFY(f.FMain->FDrummer);
        f.FMain->btnStartStopClick();
        QVERIFY(f.FMain->Image_Smile->isVisibleTo(f.FMain.get()));
        QCOMPARE(f.FMain->FClock->FTempo(), 110);
        f.FMain->btnStartStopClick();
        QCOMPARE(f.FMain->FClock->FTempo(), 110);
        QVERIFY(f.FMain->Image_Smile->isVisibleTo(f.FMain.get()));
    }

    void noDriftWithTheRealDrummerOff()
    {
        AppFixture f;
        SetRhythm(f, 4);
        f.FMain->btnStartStopClick();
        f.Beat(100);
        QCOMPARE(f.FMain->FClock->FTempo(), 100);
        QCOMPARE(f.FMain->FClock->SequenceState().FRandom.State(), 0u); // no draw was made
    }

    void clickingALightTogglesItsAccent()
    {
        AppFixture f;
        TShape* second = f.FMain->FShapes[1];
        QTest::mouseClick(second, Qt::RightButton);
        QCOMPARE(second->PenWidth(), 2);
        QCOMPARE(f.FMain->FAccentFlags[1], 1);
        QTest::mouseClick(second, Qt::LeftButton);
        QCOMPARE(second->PenWidth(), 1);
        QCOMPARE(f.FMain->FAccentFlags[1], 0);
    }

    void closingWhileRunningEndsTheClockThread()
    {
        AppFixture f(true);
        f.FMain->SpEd_Time->SetValue(208);
        f.FMain->btnStartStopClick();
        QTRY_VERIFY_WITH_TIMEOUT(f.FMain->FBeatCounter >= 1, 3000);
        QElapsedTimer timer;
        timer.start();
        f.Close();
        QVERIFY(f.FMain->FClock->Finished());
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!f.FMain->FMidiTick);
    }

    void spaceStartsAndStopsExceptInTheNameEdit()
    {
        AppFixture f;
        f.FMain->activateWindow();
        f.FMain->Ed_Nazev->setFocus();
        QTest::keyClick(f.FMain->Ed_Nazev, Qt::Key_Space);
        QCOMPARE(f.FMain->Ed_Nazev->text(), QStringLiteral(" "));
        QVERIFY(f.FMain->FClock->Suspended());
        f.FMain->chkMute->setFocus();
        QTest::keyClick(f.FMain->chkMute, Qt::Key_Space);
        QVERIFY(!f.FMain->FClock->Suspended());
        QVERIFY(!f.FMain->chkMute->isChecked()); // the box is not ticked by Space
        f.FMain->btnStartStop->setFocus();
        QTest::keyClick(f.FMain->btnStartStop, Qt::Key_Space);
        QVERIFY(f.FMain->FClock->Suspended()); // stopped once, not pressed again on release
    }

    void enterStartsUnlessAButtonHasTheFocus()
    {
        AppFixture f;
        f.FMain->activateWindow();
        f.FMain->SpEd_Time->setFocus();
        QTest::keyClick(f.FMain->SpEd_Time, Qt::Key_Return);
        QVERIFY(!f.FMain->FClock->Suspended());
        f.FMain->Ed_Nazev->setFocus();
        QTest::keyClick(f.FMain->Ed_Nazev, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(f.FMain->FClock->Suspended());
    }

    void keypadPlusAndMinusStepTheTempoFromAnywhere()
    {
        AppFixture f;
        f.FMain->activateWindow();
        f.FMain->Ed_Nazev->setFocus();
        QTest::keyClick(f.FMain->Ed_Nazev, Qt::Key_Plus, Qt::KeypadModifier);
        QCOMPARE(f.FMain->SpEd_Time->Value(), 101);
        QCOMPARE(f.FMain->trbTime->value(), 101);
        QCOMPARE(f.FMain->FClock->FTempo(), 101);
        QCOMPARE(f.FMain->Ed_Nazev->text(), QString()); // the character is not typed
        QTest::keyClick(f.FMain->Ed_Nazev, Qt::Key_Minus, Qt::KeypadModifier);
        QTest::keyClick(f.FMain->Ed_Nazev, Qt::Key_Minus, Qt::KeypadModifier);
        QCOMPARE(f.FMain->SpEd_Time->Value(), 99);
    }

    void statusBarClickOpensTheHomePage()
    {
        AppFixture f;
        QStringList opened;
        f.FMain->FOpenUrl = [&](const QString& url) { opened << url; };
        QTest::mouseClick(f.FMain->FPanels[1], Qt::LeftButton);
        QCOMPARE(opened, QStringList{QString::fromLatin1(TiktakonHomePage)});
    }

    void handlerErrorsShowTheBoxAndTheProgramGoesOn()
    {
        AppFixture f;
        f.FMain->Guard([] { throw TiktakonError("File access denied"); });
        QCOMPARE(f.FMessages, QStringList{"File access denied."});
        f.FMain->btnStartStopClick();
        QVERIFY(!f.FMain->FClock->Suspended());
    }
};

QTEST_MAIN(TestMain)
#include "test_main.moc"
