// What the musician sees and sets on the real window: lights, number, circle, counters,
// tempo and rhythm controls.
#include "AppFixture.h"

#include "BarCircle.h"
#include "Clock.h"
#include "ColourConv.h"
#include "Shape.h"
#include "SpinEdit.h"
#include "TempoName.h"
#include "TrackBar.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestControls final : public QObject
{
    Q_OBJECT

private:
    static QList<TColor> Fills(AppFixture& f, int count)
    {
        QList<TColor> fills;
        for (int i = 0; i < count; ++i) {
            fills << f.FMain->FShapes[i]->BrushColor();
        }
        return fills;
    }
    static TColor CirclePixel(AppFixture& f, int x, int y)
    {
        return FromQColor(f.FMain->Image->Picture().pixelColor(x, y));
    }
    static void TypeInto(TSpinEdit* box, const QString& text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
    }

private slots:
    void oneBeatBarBlinks_data()
    {
        QTest::addColumn<bool>("accentsOn");
        QTest::newRow("accents off") << false;
        QTest::newRow("accents on") << true;
    }
    void oneBeatBarBlinks()
    {
        QFETCH(bool, accentsOn);
        AppFixture f;
        f.FMain->SpB_Beat->SetValue(1);
        QTest::mouseClick(f.FMain->FShapes[0], Qt::LeftButton);
        f.FMain->ChB_Accents->setChecked(accentsOn);
        f.FMain->btnStartStopClick();
        const TColor lit = accentsOn ? f.FMain->FAccentColour : f.FMain->FBeatColour;
        QList<TColor> seen;
        for (int beat = 1; beat <= 4; ++beat) {
            f.Beat();
            seen << f.FMain->FShapes[0]->BrushColor();
            QCOMPARE(f.FMain->L_Beat->text(), QStringLiteral("1"));
        }
        QCOMPARE(seen, (QList<TColor>{lit, clWhite, lit, clWhite}));
    }

    void rhythmChangesKeepTheAccentMarks()
    {
        AppFixture f;
        f.FMain->SpB_Beat->SetValue(8);
        for (int i : {4, 6, 7}) {
            QTest::mouseClick(f.FMain->FShapes[i], Qt::LeftButton);
        }
        f.FMain->SpB_Beat->SetValue(3);
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(f.FMain->FShapes[i]->isVisibleTo(f.FMain.get()), i < 3);
        }
        f.FMain->SpB_Beat->SetValue(8);
        for (int i = 0; i < 8; ++i) {
            QVERIFY(f.FMain->FShapes[i]->isVisibleTo(f.FMain.get()));
            QCOMPARE(f.FMain->FShapes[i]->PenWidth(), (i == 4 || i == 6 || i == 7) ? 2 : 1);
        }
    }

    void circleFillsThroughTheBar()
    {
        AppFixture f;
        f.FMain->SpB_Beat->SetValue(4);
        f.FMain->btnStartStopClick();
        const TColor red = f.FMain->FBeatColour;
        // Points in the four quadrants of the disc (centre 28,28): upper right, lower right,
        // lower left, upper left; each quadrant fills with one more beat of a 4/4 bar.
        const QList<QPoint> quadrants{{40, 16}, {40, 40}, {16, 40}, {16, 16}};
        for (int beat = 1; beat <= 4; ++beat) {
            f.Beat();
            QCOMPARE(f.FMain->L_Beat->text(), QString::number(beat));
            for (int qd = 0; qd < 4; ++qd) {
                const TColor expected = qd < beat ? red : clWhite;
                QCOMPARE(CirclePixel(f, quadrants[qd].x(), quadrants[qd].y()), expected);
            }
            QCOMPARE(CirclePixel(f, 0, 0), clBlack);  // the frame
            QCOMPARE(CirclePixel(f, 2, 2), clSilver); // background outside the disc
        }
    }

    void accentedBeatPaintsInTheAccentColour()
    {
        AppFixture f;
        f.FMain->SpB_Beat->SetValue(4);
        QTest::mouseClick(f.FMain->FShapes[0], Qt::LeftButton);
        f.FMain->ChB_Accents->setChecked(true);
        f.FMain->btnStartStopClick();
        f.Beat();
        QCOMPARE(f.FMain->FShapes[0]->BrushColor(), f.FMain->FAccentColour);
        QCOMPARE(CirclePixel(f, 40, 16), f.FMain->FAccentColour);
        QVERIFY(f.FMain->L_Beat->styleSheet().contains(ToQColor(f.FMain->FAccentColour).name()));
        f.Beat();
        QCOMPARE(f.FMain->FShapes[0]->BrushColor(), clWhite);
        QCOMPARE(f.FMain->FShapes[1]->BrushColor(), f.FMain->FBeatColour);
        QCOMPARE(CirclePixel(f, 40, 16), f.FMain->FBeatColour);
    }

    void stopClearsEverything()
    {
        AppFixture f;
        f.FMain->SpB_Beat->SetValue(4);
        f.FMain->btnStartStopClick();
        f.Beat(2);
        f.FMain->btnStartStopClick();
        QCOMPARE(Fills(f, 8), QList<TColor>(8, clWhite));
        QCOMPARE(CirclePixel(f, 40, 16), clWhite);
        QCOMPARE(CirclePixel(f, 40, 40), clWhite);
        QVERIFY(!f.FMain->L_Beat->isVisibleTo(f.FMain.get()));
        // The panels keep their last texts until the next Start.
        QCOMPARE(f.Panel(1), QStringLiteral("Takt:  1"));
    }

    void runTimeCountsSecondsFromStart()
    {
        AppFixture f;
        f.FMain->btnStartStopClick();
        for (int i = 0; i < 61; ++i) {
            f.FMain->TimerTimer();
        }
        QCOMPARE(f.Panel(2), QStringLiteral(" Čas:  00:01:01"));
        f.FMain->btnStartStopClick();
        f.FMain->btnStartStopClick();
        QCOMPARE(f.Panel(2), QStringLiteral(" Čas:  00:00:00"));
    }

    void sliderDragSetsEverything()
    {
        AppFixture f;
        f.FMain->trbTime->setValue(150);
        QCOMPARE(f.FMain->SpEd_Time->Value(), 150);
        QCOMPARE(f.FMain->SpEd_Time->Text(), QStringLiteral("150"));
        QCOMPARE(f.FMain->FClock->FInterval(), 400);
        QCOMPARE(f.FMain->trbTime->toolTip(), QStringLiteral("Allegro"));
    }

    void typingATempoAppliesOnlyValidNumbers()
    {
        AppFixture f;
        f.FMain->activateWindow();
        TSpinEdit* box = f.FMain->SpEd_Time;
        TypeInto(box, QStringLiteral("2"));
        QCOMPARE(box->Text(), QStringLiteral("2"));
        QCOMPARE(f.FMain->FClock->FTempo(), 100); // out of bounds: nothing applied
        QTest::keyClicks(box, QStringLiteral("0"));
        QCOMPARE(box->Text(), QStringLiteral("20"));
        QCOMPARE(f.FMain->trbTime->value(), 100);
        QTest::keyClicks(box, QStringLiteral("8"));
        QCOMPARE(f.FMain->FClock->FTempo(), 208);
        QCOMPARE(f.FMain->trbTime->value(), 208);
        QCOMPARE(f.FMain->trbTime->toolTip(), QStringLiteral("Presto"));
    }

    void emptyingTheTempoBoxGivesForty()
    {
        AppFixture f;
        f.FMain->SpEd_Time->SetText(QString());
        QCOMPARE(f.FMain->SpEd_Time->Text(), QStringLiteral("40"));
        QCOMPARE(f.FMain->trbTime->value(), 40);
        QCOMPARE(f.FMain->FClock->FTempo(), 40);
    }

    // Whatever the boxes hold, box, slider, beat and hint agree once the focus has left them:
    // no number counts as the lower bound, a number out of bounds is brought into them when the
    // box is left, and a value already in bounds is not set again (the bar goes on).
    void boxTextGivesTheValue_data()
    {
        QTest::addColumn<bool>("rhythm");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("leave");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("barRestarted");
        QTest::newRow("tempo x") << false << "x" << false << "40" << 40 << false;
        QTest::newRow("tempo 1.5") << false << "1.5" << false << "40" << 40 << false;
        QTest::newRow("tempo empty") << false << "" << false << "40" << 40 << false;
        QTest::newRow("tempo 300, Tab") << false << "300" << true << "208" << 208 << false;
        QTest::newRow("tempo 20, Tab") << false << "20" << true << "40" << 40 << false;
        QTest::newRow("tempo 208") << false << "208" << false << "208" << 208 << false;
        QTest::newRow("rhythm x, Tab") << true << "x" << true << "1" << 1 << true;
        QTest::newRow("rhythm 1.5, Tab") << true << "1.5" << true << "1" << 1 << true;
        QTest::newRow("rhythm 12, Tab") << true << "12" << true << "8" << 8 << true;
    }
    void boxTextGivesTheValue()
    {
        QFETCH(bool, rhythm);
        QFETCH(QString, typed);
        QFETCH(bool, leave);
        QFETCH(QString, shown);
        QFETCH(int, value);
        QFETCH(bool, barRestarted);
        AppFixture f;
        f.FMain->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.FMain.get()));
        f.FMain->SpB_Beat->SetValue(4);
        f.FMain->btnStartStopClick();
        f.Beat(6); // bar 2, beat 3
        TSpinEdit* box = rhythm ? f.FMain->SpB_Beat : f.FMain->SpEd_Time;
        box->setFocus();
        QVERIFY(box->hasFocus());
        box->SetText(typed); // the whole text at once, as pasted
        if (leave) {
            QTest::keyClick(box, Qt::Key_Tab);
            QVERIFY(!box->hasFocus());
        }
        QCOMPARE(box->Text(), shown);
        if (rhythm) {
            QCOMPARE(f.FMain->BeatsPerBar(), value);
        } else {
            QCOMPARE(f.FMain->trbTime->value(), value);
            QCOMPARE(f.FMain->FClock->FTempo(), value);
            QCOMPARE(f.FMain->trbTime->toolTip(), TempoName(value));
        }
        QCOMPARE(f.FMain->FBeatPosition == 0, barRestarted);
        // Leaving again changes nothing more: the bar is not restarted a second time.
        f.Beat(2);
        const int position = f.FMain->FBeatPosition;
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(box->Text(), shown);
        QCOMPARE(f.FMain->FBeatPosition, position);
    }

    void keypadPlusStopsAtTheTop()
    {
        AppFixture f;
        f.FMain->activateWindow();
        f.FMain->trbTime->setValue(208);
        f.FMain->Ed_Nazev->setFocus();
        QTest::keyClick(f.FMain->Ed_Nazev, Qt::Key_Plus, Qt::KeypadModifier);
        QCOMPARE(f.FMain->SpEd_Time->Value(), 208);
        QCOMPARE(f.FMain->FClock->FTempo(), 208);
    }

    void rhythmChangeRestartsTheBar()
    {
        AppFixture f;
        f.FMain->SpB_Beat->SetValue(4);
        f.FMain->btnStartStopClick();
        f.Beat(26); // bar 7, beat 2
        QCOMPARE(f.Panel(1), QStringLiteral("Takt:  7"));
        f.FMain->SpB_Beat->SetValue(3);
        QVERIFY(!f.FMain->FClock->Suspended());
        QCOMPARE(f.FMain->FRunTime, 0);
        f.Beat();
        QCOMPARE(f.Panel(1), QStringLiteral("Takt:  1"));
        QCOMPARE(f.FMain->L_Beat->text(), QStringLiteral("1"));
        QCOMPARE(f.FMain->FShapes[0]->BrushColor(), f.FMain->FBeatColour);
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(f.FMain->FShapes[i]->isVisibleTo(f.FMain.get()), i < 3);
        }
    }

    void rhythmChangeWhileStoppedStaysStopped()
    {
        AppFixture f;
        f.FMain->SpB_Beat->SetValue(6);
        QVERIFY(f.FMain->FClock->Suspended());
        QCOMPARE(f.FMain->FClock->SuspendCount(), 1);
    }

    // A typed rhythm outside 1..8 is brought into the bounds for the beat: it never divides by
    // zero nor reaches past the eight lights.
    void typedRhythmOutsideTheBoundsIsClamped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("beatsPerBar");
        QTest::newRow("0") << "0" << 1;
        QTest::newRow("9") << "9" << 8;
        QTest::newRow("99") << "99" << 8;
    }
    void typedRhythmOutsideTheBoundsIsClamped()
    {
        QFETCH(QString, typed);
        QFETCH(int, beatsPerBar);
        AppFixture f;
        f.FMain->btnStartStopClick();
        f.FMain->SpB_Beat->SetText(typed);
        QCOMPARE(f.FMain->BeatsPerBar(), beatsPerBar);
        f.Beat(20);
        QCOMPARE(f.FMain->FBeatPosition, 20 % beatsPerBar);
        int visible = 0;
        for (TShape* shape : f.FMain->FShapes) {
            visible += shape->isVisibleTo(f.FMain.get()) ? 1 : 0;
        }
        QCOMPARE(visible, beatsPerBar);
    }
};

QTEST_MAIN(TestControls)
#include "test_controls.moc"
