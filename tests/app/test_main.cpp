// The main window: start-up and closing, Start/Stop, the beat handler, keys.
#include "AppFixture.h"

#include "BarCircle.h"
#include "CoachWindow.h"
#include "Clock.h"
#include "ColourConv.h"
#include "Config.h"
#include "Error.h"
#include "ProfileList.h"
#include "Shape.h"
#include "SpinEdit.h"
#include "StatusTexts.h"
#include "TrackBar.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QHeaderView>
#include <QComboBox>
#include <QTableWidget>
#include <QToolButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
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

    // The control that has the focus; a spin box stands for its own line edit.
    static QWidget* FocusedControl()
    {
        QWidget* focus = QApplication::focusWidget();
        if (focus && focus->parentWidget() && qobject_cast<QAbstractSpinBox*>(focus->parentWidget())) {
            return focus->parentWidget();
        }
        return focus;
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

    // Sorting the profile list takes milliseconds with many profiles: a header click waits for a
    // beat about to be shown (within 15 ms), and is done at once otherwise.
    void headerClickWaitsForABeatAboutToBeShown()
    {
        AppFixture f;
        TProfileGrid* grid = f.FMain->Grid;
        grid->SetDataRowCount(2);
        grid->SetCell(1, 1, QStringLiteral("Beta"));
        grid->SetCell(1, 2, QStringLiteral("Alfa"));
        QHeaderView* header = grid->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(1) + header->sectionSize(1) / 2, 5);
        const int reads = f.FTime.Reads();
        f.FMain->btnStartStopClick();
        QTRY_VERIFY(f.FTime.Reads() > reads);
        f.FTime.Advance(600'000 - TClock::LookAheadUs);
        QTRY_COMPARE(f.FMain->FClock->SequenceState().FCounter, 1);
        QTest::qWait(50); // the decided beat reaches the window's queue
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at); // the beat is 45 ms away
        QCOMPARE(grid->SortOrder(), Qt::AscendingOrder);
        QCOMPARE(grid->Cell(1, 1), QStringLiteral("Alfa"));
        f.FTime.Advance(TClock::LookAheadUs - 5000);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at); // 5 ms away
        QCOMPARE(grid->SortOrder(), Qt::AscendingOrder);
        QCOMPARE(grid->Cell(1, 1), QStringLiteral("Alfa"));
        f.FTime.Advance(5000);
        QTRY_COMPARE(f.FMain->FBeatCounter, 1);
        QTRY_COMPARE(grid->SortOrder(), Qt::DescendingOrder);
        QCOMPARE(grid->Cell(1, 1), QStringLiteral("Beta"));
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

    // Tab walks the whole window in its order and comes round again, out of the list too.
    void tabWalksTheWindowInOrder()
    {
        AppFixture f;
        f.FMain->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.FMain.get()));
        TformMain& m = *f.FMain;
        const QList<QWidget*> order = {m.Ed_Nazev, m.SpB_Beat, m.SpEd_Time, m.chkMute, m.ChB_Accents, m.But_Save,
                                       m.btnSetup, m.Grid,     m.trbTime,   m.btnStartStop, m.Ed_Nazev};
        m.Ed_Nazev->setFocus();
        QList<QWidget*> walked{FocusedControl()};
        for (int i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked << FocusedControl();
        }
        QCOMPARE(walked, order);
        // And back with Shift+Tab, from the list to the buttons before it.
        m.Grid->setFocus();
        QTest::keyClick(m.Grid, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(FocusedControl(), static_cast<QWidget*>(m.btnSetup));
    }

    // Ctrl+1..8 toggles the accent of that beat as a click on its light does; a beat beyond the
    // rhythm does nothing; it works from any control of the window, the name edit included.
    void ctrlDigitTogglesTheAccentOfItsBeat_data()
    {
        QTest::addColumn<int>("rhythm");
        QTest::addColumn<int>("digit");
        QTest::addColumn<QList<int>>("flags");
        QTest::newRow("beat 1 of 4") << 4 << 1 << QList<int>{0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("beat 3 of 4") << 4 << 3 << QList<int>{1, 0, 1, 0, 0, 0, 0, 0};
        QTest::newRow("beat 8 of 8") << 8 << 8 << QList<int>{1, 0, 0, 0, 0, 0, 0, 1};
        QTest::newRow("beat 5 of 4: nothing") << 4 << 5 << QList<int>{1, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("beat 2 of 1: nothing") << 1 << 2 << QList<int>{1, 0, 0, 0, 0, 0, 0, 0};
    }
    void ctrlDigitTogglesTheAccentOfItsBeat()
    {
        QFETCH(int, rhythm);
        QFETCH(int, digit);
        QFETCH(QList<int>, flags);
        AppFixture f;
        f.FMain->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.FMain.get()));
        SetRhythm(f, rhythm);
        for (QWidget* target : {static_cast<QWidget*>(f.FMain->Ed_Nazev), static_cast<QWidget*>(f.FMain->Grid)}) {
            for (int i = 0; i < 8; ++i) {
                f.FMain->FAccentFlags[i] = i == 0 ? 1 : 0;
                f.FMain->FShapes[i]->SetPenWidth(i == 0 ? 2 : 1);
            }
            target->setFocus();
            QTest::keyClick(target, Qt::Key(Qt::Key_0 + digit), Qt::ControlModifier);
            QList<int> seen;
            for (int i = 0; i < 8; ++i) {
                seen << f.FMain->FAccentFlags[i];
                QCOMPARE(f.FMain->FShapes[i]->PenWidth(), f.FMain->FAccentFlags[i] ? 2 : 1);
            }
            QCOMPARE(seen, flags);
            QCOMPARE(f.FMain->Ed_Nazev->text(), QString()); // no digit typed
        }
    }

    // T taps the tempo, timed by the key events' own moments, wherever Space starts the beat
    // (the tempo box too) and not in the name edit; a click on the beat number is a tap too.
    // The tempo goes through the tempo controls, running or stopped.
    void tapsSetTheTempo_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("tempo");
        QTest::addColumn<QString>("typed");
        QTest::newRow("T in the tempo box, stopped") << "tempo" << false << 120 << "120";
        QTest::newRow("T on the Start button, running") << "start" << true << 120 << "120";
        QTest::newRow("T in the name edit: typed") << "name" << false << 100 << "tttt";
        QTest::newRow("clicks on the beat number") << "number" << true << 120 << "120";
    }
    void tapsSetTheTempo()
    {
        QFETCH(QString, where);
        QFETCH(bool, running);
        QFETCH(int, tempo);
        QFETCH(QString, typed);
        AppFixture f;
        f.FMain->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.FMain.get()));
        if (running) {
            f.FMain->btnStartStopClick();
        }
        QWidget* target = where == QStringLiteral("tempo")  ? static_cast<QWidget*>(f.FMain->SpEd_Time)
                          : where == QStringLiteral("name") ? static_cast<QWidget*>(f.FMain->Ed_Nazev)
                                                            : static_cast<QWidget*>(f.FMain->btnStartStop);
        target->setFocus();
        QWidget* receiver = QApplication::focusWidget();
        // Four taps 500 ms apart by their own timestamps, however fast the test sends them.
        for (int i = 0; i < 4; ++i) {
            const quint64 stamp = 100000 + 500 * quint64(i);
            if (where == QStringLiteral("number")) {
                QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), f.FMain->pnlCisla->mapToGlobal(QPointF(5, 5)),
                                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                press.setTimestamp(stamp);
                QApplication::sendEvent(f.FMain->pnlCisla, &press);
            } else {
                QKeyEvent key(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier, QStringLiteral("t"));
                key.setTimestamp(stamp);
                QApplication::sendEvent(receiver, &key);
            }
        }
        QCOMPARE(f.FMain->SpEd_Time->Value(), tempo);
        QCOMPARE(f.FMain->trbTime->value(), tempo);
        QCOMPARE(f.FMain->FClock->FTempo(), tempo);
        QCOMPARE(!f.FMain->FClock->Suspended(), running);
        if (where == QStringLiteral("name")) {
            QCOMPARE(f.FMain->Ed_Nazev->text(), typed);
        } else {
            QCOMPARE(f.FMain->SpEd_Time->Text(), typed);
        }
    }

    // One bar counted in at Start: its numbers in a colour of their own, the lights running,
    // and neither the bar counter nor the run time moving until bar 1 begins.
    void countInBeforeBarOne()
    {
        AppFixture f;
        SetRhythm(f, 3);
        f.FConfig->cboPredtakt->setCurrentIndex(1);
        f.FMain->btnStartStopClick();
        QStringList colours;
        for (int i = 0; i < 3; ++i) {
            f.Beat();
            QCOMPARE(f.FMain->L_Beat->text(), QString::number(i + 1));
            QCOMPARE(LitLight(f), i);
            colours << f.FMain->L_Beat->styleSheet();
            f.FMain->TimerTimer();
        }
        QCOMPARE(f.FMain->FRunTime, 0);
        QCOMPARE(f.FMain->FBeatCounter, 0);
        QCOMPARE(f.Panel(1), StartBarText());
        QCOMPARE(colours.removeDuplicates(), 2);
        QVERIFY(!colours[0].contains(ToQColor(f.FMain->FBeatColour).name()));
        f.Beat();
        QCOMPARE(f.FMain->L_Beat->text(), QStringLiteral("1"));
        QCOMPARE(f.FMain->FBeatCounter, 1);
        QCOMPARE(f.Panel(1), BarCounterText(1));
        QCOMPARE(f.FMain->L_Beat->styleSheet(), QStringLiteral("color: %1").arg(ToQColor(f.FMain->FBeatColour).name()));
        f.FMain->TimerTimer();
        QCOMPARE(f.FMain->FRunTime, 1);
        // Stop and Start again: the count-in comes again.
        f.FMain->btnStartStopClick();
        f.FMain->btnStartStopClick();
        f.Beat();
        QCOMPARE(f.FMain->FBeatCounter, 0);
        QVERIFY(f.FMain->L_Beat->styleSheet() == colours[0]);
    }

    // The trainer's steps move the controls as each is heard, without being a tempo set by hand;
    // a tempo set by hand is the new start; Stop puts the controls back to the start. With the
    // drummer's drift up, the clock runs 10 above the trainer.
    void trainerMovesTheControlsAndStopPutsThemBack()
    {
        AppFixture f;
        SetRhythm(f, 1);
        f.FConfig->ChB_Real->setChecked(true);
        PracticeSettings practice;
        practice.FTrainer = 1;
        practice.FTrainerStep = 4;
        practice.FTrainerBars = 2;
        practice.FTrainerTarget = 120;
        f.FMain->SetPractice(practice);
        f.FMain->btnStartStopClick();
        QMap<int, int> slider;
        QMap<int, int> clock;
        for (int beat = 1; beat <= 9; ++beat) {
            f.Beat();
            slider[beat] = f.FMain->trbTime->value();
            clock[beat] = f.FMain->FClock->FTempo();
        }
        QCOMPARE(slider[2], 100);
        QCOMPARE(slider[3], 104);
        // One-beat bars: the drummer's first draw at beat 5 moves it up, at 9 down.
        QCOMPARE(clock[4], 104);
        QCOMPARE(clock[5], 118);
        QCOMPARE(slider[5], 108);
        QCOMPARE(clock[8], 122);
        QCOMPARE(slider[8], 112);
        QCOMPARE(clock[9], 116);
        QCOMPARE(slider[9], 116);
        QCOMPARE(f.FMain->SpEd_Time->Value(), 116);
        // Set by hand: the new start, two whole bars before the next step.
        f.FMain->SetTempoControls(90);
        f.Beat(2);
        QCOMPARE(f.FMain->trbTime->value(), 90);
        f.Beat();
        QCOMPARE(f.FMain->trbTime->value(), 94);
        f.FMain->btnStartStopClick();
        QCOMPARE(f.FMain->trbTime->value(), 90);
        QCOMPARE(f.FMain->SpEd_Time->Value(), 90);
        QCOMPARE(f.FMain->FClock->FTempo(), 90);
    }

    // Ctrl+T opens the coach; with no sound server it has no input, says so when asked to
    // listen, and the beat goes on untouched.
    void coachWithoutAnInputSaysSoAndTheBeatGoesOn()
    {
        AppFixture f;
        f.FMain->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.FMain.get()));
        QVERIFY(!f.FMain->FCoach);
        QTest::keyClick(f.FMain.get(), Qt::Key_T, Qt::ControlModifier);
        QVERIFY(f.FMain->FCoach);
        QTRY_VERIFY(f.FMain->FCoach->isVisible());
        QCOMPARE(f.FMain->FCoach->windowTitle(), QStringLiteral("Přesnost hry"));
        QCOMPARE(f.FMain->trbTime->value(), 100); // Ctrl+T is no tap
        QCOMPARE(f.FMain->FCoach->cboVstup->count(), 0);
        f.FMain->btnStartStopClick();
        f.FMain->FCoach->btnPoslouchat->click();
        QVERIFY(!f.FMain->FCoach->Listening());
        QVERIFY(!f.FMain->FCoach->btnPoslouchat->isChecked());
        QVERIFY2(f.FMain->FCoach->lblStav->text().startsWith(QStringLiteral("Žádný vstup")),
                 qPrintable(f.FMain->FCoach->lblStav->text()));
        f.Beat(3);
        QCOMPARE(f.FMain->FBeatCounter, 3);
        f.FMain->btnStartStopClick();
        QCOMPARE(f.FMain->FCoach->lblCisla->text(), QStringLiteral("Zatím žádné zásahy."));
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
        // F1 from any control of the window, the name edit included, does the same.
        f.FMain->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.FMain.get()));
        f.FMain->Ed_Nazev->setFocus();
        QTest::keyClick(f.FMain->Ed_Nazev, Qt::Key_F1);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.last(), QString::fromLatin1(TiktakonHomePage));
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
