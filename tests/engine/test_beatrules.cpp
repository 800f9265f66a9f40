#include "BeatRules.h"

#include <QtTest>

Q_DECLARE_METATYPE(PracticeSettings)

class TestBeatRules final : public QObject
{
    Q_OBJECT

private:
    // The tempo trainer on, towards 200 BPM.
    static BeatSettings Trainer(int beatsPerBar, int step, int everyBars)
    {
        BeatSettings settings;
        settings.FBeatsPerBar = beatsPerBar;
        settings.FPractice.FTrainer = 1;
        settings.FPractice.FTrainerStep = step;
        settings.FPractice.FTrainerBars = everyBars;
        settings.FPractice.FTrainerTarget = 200;
        return settings;
    }

private slots:
    void barNumber_data()
    {
        QTest::addColumn<int>("counter");
        QTest::addColumn<int>("beatsPerBar");
        QTest::addColumn<int>("bar");
        QTest::newRow("first beat") << 1 << 4 << 1;
        QTest::newRow("last beat of bar 1") << 4 << 4 << 1;
        QTest::newRow("fifth beat starts bar 2") << 5 << 4 << 2;
        QTest::newRow("ninth beat starts bar 3") << 9 << 4 << 3;
        QTest::newRow("3/4 fourth beat") << 4 << 3 << 2;
        QTest::newRow("3/4 seventh beat") << 7 << 3 << 3;
        QTest::newRow("one-beat bars count beats") << 17 << 1 << 17;
    }
    void barNumber()
    {
        QFETCH(int, counter);
        QFETCH(int, beatsPerBar);
        QFETCH(int, bar);
        QCOMPARE(BarNumber(counter, beatsPerBar), bar);
    }

    void drummerDrawsFollowTheFixedSequence()
    {
        DrummerRandom random;
        const std::vector<std::uint32_t> expected{0, 0, 2, 0, 0, 2, 0, 0, 1, 1, 0, 1};
        std::vector<std::uint32_t> draws;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            draws.push_back(random.Draw(3));
        }
        QCOMPARE(draws, expected);
    }

    void drawStaysBelowItsBound()
    {
        DrummerRandom random;
        for (int i = 0; i < 10000; ++i) {
            QVERIFY(random.Draw(3) < 3);
        }
    }

    // The count-in at Start: whole bars whose first beat sounds as an accent whatever the
    // accents, counting nothing; then bar 1, beat 1 as without it. Stop (a reset) ends it.
    void countInComesBeforeTheFirstBar_data()
    {
        QTest::addColumn<int>("bars");
        QTest::addColumn<int>("rhythm");
        QTest::addColumn<bool>("resetAfterTwo");
        // Per beat: 'c' count-in accented, 'n' count-in normal, then the real beats' counters.
        QTest::addColumn<QString>("beats");
        QTest::newRow("none") << 0 << 3 << false << "1 2 3 4";
        QTest::newRow("one bar of 3") << 1 << 3 << false << "c n n 1 2 3 4";
        QTest::newRow("two bars of 2") << 2 << 2 << false << "c n c n 1 2";
        QTest::newRow("one bar of 1") << 1 << 1 << false << "c 1 2";
        QTest::newRow("ended by a reset") << 2 << 4 << true << "c n 1 2 3";
    }
    void countInComesBeforeTheFirstBar()
    {
        QFETCH(int, bars);
        QFETCH(int, rhythm);
        QFETCH(bool, resetAfterTwo);
        QFETCH(QString, beats);
        BeatSettings settings;
        settings.FBeatsPerBar = rhythm;
        settings.FPractice.FCountInBars = bars;
        settings.FAccentsOn = true;
        settings.FAccentFlags = {0, 1, 0, 0, 0, 0, 0, 0}; // the count-in ignores these
        settings.FRealDrummer = true;
        BeatSequence sequence;
        sequence.ArmCountIn();
        QStringList seen;
        int position = 0;
        const QStringList expected = beats.split(QLatin1Char(' '));
        for (int i = 0; i < expected.size(); ++i) {
            if (resetAfterTwo && i == 2) {
                sequence.ResetBar();
                position = 0;
            }
            const BeatDecision d = sequence.Decide(settings);
            QCOMPARE(d.FPosition, position);
            position = (position + 1) % rhythm;
            if (d.FCountIn) {
                QCOMPARE(d.FCounter, 0);
                QVERIFY(!d.FBarStart);
                seen << (d.FAccented ? QStringLiteral("c") : QStringLiteral("n"));
            } else {
                QCOMPARE(d.FBarStart, (d.FCounter - 1) % rhythm == 0);
                if (d.FCounter == 1) {
                    QCOMPARE(d.FBar, 1);
                    QCOMPARE(d.FPosition, 0);
                }
                seen << QString::number(d.FCounter);
            }
        }
        QCOMPARE(seen.join(QLatin1Char(' ')), beats);
    }

    // Silent bars by pattern: P bars heard, Q silent, over and over from bar 1; the beats of a
    // silent bar are decided, shown and counted, only not heard.
    void silentBarsByPattern_data()
    {
        QTest::addColumn<int>("play");
        QTest::addColumn<int>("silent");
        QTest::addColumn<QString>("bars"); // per bar: h heard, s silent
        QTest::newRow("2 then 1") << 2 << 1 << "hhshhshh";
        QTest::newRow("1 then 3") << 1 << 3 << "hssshsss";
        QTest::newRow("out of range: 1 then 16") << 0 << 99 << "hsssssss";
    }
    void silentBarsByPattern()
    {
        QFETCH(int, play);
        QFETCH(int, silent);
        QFETCH(QString, bars);
        BeatSettings settings;
        settings.FBeatsPerBar = 3;
        settings.FPractice.FSilentMode = 1;
        settings.FPractice.FPlayBars = play;
        settings.FPractice.FSilentBars = silent;
        BeatSequence sequence;
        QString seen;
        for (int bar = 0; bar < bars.size(); ++bar) {
            const BeatDecision first = sequence.Decide(settings);
            QCOMPARE(first.FBar, bar + 1);
            for (int beat = 1; beat < 3; ++beat) {
                const BeatDecision d = sequence.Decide(settings);
                QCOMPARE(d.FMute, first.FMute); // the whole bar
                QCOMPARE(d.FSilentBar, first.FSilentBar);
            }
            QCOMPARE(first.FMute, first.FSilentBar);
            seen += first.FSilentBar ? QLatin1Char('s') : QLatin1Char('h');
        }
        QCOMPARE(seen, bars);
    }

    // Silent bars by chance come from a generator of their own: the real drummer's draws keep
    // their order whether they are on or not.
    void silentBarsByChanceLeaveTheDrummersDraws_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("fewest");
        QTest::addColumn<int>("most");
        QTest::newRow("never") << 0 << 0 << 0;
        QTest::newRow("30 %") << 30 << 40 << 80;
        QTest::newRow("90 %") << 90 << 160 << 199;
        QTest::newRow("above 90: 90") << 100 << 160 << 199;
    }
    void silentBarsByChanceLeaveTheDrummersDraws()
    {
        QFETCH(int, percent);
        QFETCH(int, fewest);
        QFETCH(int, most);
        BeatSettings settings;
        settings.FBeatsPerBar = 2;
        settings.FRealDrummer = true;
        BeatSequence plain;
        settings.FPractice.FSilentMode = 2;
        settings.FPractice.FSilentPercent = percent;
        BeatSequence silentOnes;
        BeatSettings plainSettings = settings;
        plainSettings.FPractice.FSilentMode = 0;
        int silentBars = 0;
        for (int beat = 0; beat < 400; ++beat) {
            const BeatDecision a = plain.Decide(plainSettings);
            const BeatDecision b = silentOnes.Decide(settings);
            QCOMPARE(b.FDrummer, a.FDrummer);
            QCOMPARE(b.FTempo, a.FTempo);
            QVERIFY(!a.FMute);
            silentBars += b.FBarStart && b.FSilentBar ? 1 : 0;
        }
        QCOMPARE(silentOnes.Snapshot().FRandom.State(), plain.Snapshot().FRandom.State());
        QVERIFY2(silentBars >= fewest && silentBars <= most, qPrintable(QString::number(silentBars)));
    }

    // The trainer's step comes at the first beat of every M+1st bar at one tempo, never past
    // the target; a step pointing away from the target holds the tempo. With the drummer's
    // drift up the clock runs 10 above the trainer. Each number is the tempo the bar runs at.
    void trainerStepsAtBarStarts_data()
    {
        QTest::addColumn<int>("rhythm");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("bars");
        QTest::addColumn<int>("target");
        QTest::addColumn<bool>("drummer");
        QTest::addColumn<QString>("tempi");
        QTest::newRow("up 5 every 2 bars to 110") << 4 << 100 << 5 << 2 << 110 << false << "100 100 105 105 110 110 110";
        QTest::newRow("down 20 each bar to 50") << 3 << 90 << -20 << 1 << 50 << false << "90 70 50 50";
        QTest::newRow("the last step stops at the target") << 2 << 100 << 20 << 1 << 110 << false << "100 110 110";
        QTest::newRow("a step away from the target holds") << 4 << 120 << 5 << 1 << 100 << false << "120 120 120";
        QTest::newRow("up to the top of the range") << 1 << 200 << 20 << 1 << 208 << false << "200 208 208";
        // One-beat bars: the drummer draws at bars 5, 9, 13 (0, 0, 2: up, down, stay).
        QTest::newRow("with the drummer's drift")
            << 1 << 100 << 5 << 4 << 200 << true << "100 100 100 100 115 115 115 115 110 110 110 110 115";
    }
    void trainerStepsAtBarStarts()
    {
        QFETCH(int, rhythm);
        QFETCH(int, start);
        QFETCH(int, step);
        QFETCH(int, bars);
        QFETCH(int, target);
        QFETCH(bool, drummer);
        QFETCH(QString, tempi);
        BeatSettings settings;
        settings.FBeatsPerBar = rhythm;
        settings.FRealDrummer = drummer;
        settings.FPractice.FTrainer = 1;
        settings.FPractice.FTrainerStep = step;
        settings.FPractice.FTrainerBars = bars;
        settings.FPractice.FTrainerTarget = target;
        BeatSequence sequence;
        sequence.SetTempo(start);
        QStringList seen;
        const int barCount = static_cast<int>(tempi.split(' ').size());
        for (int beat = 0; beat < barCount * rhythm; ++beat) {
            const BeatDecision d = sequence.Decide(settings);
            if (d.FBarStart) {
                seen << QString::number(d.FTempo);
                // The controls are told the trainer's own tempo, without the drift.
                if (d.FTrainerStepped) {
                    QCOMPARE(d.FTrainerTempo, d.FTempo - (d.FDrummer ? 10 : 0));
                }
            } else {
                QVERIFY(!d.FTrainerStepped);
            }
        }
        QCOMPARE(seen.join(' '), tempi);
    }

    // A tempo set by hand is the trainer's new start: M whole bars at it before the next step.
    void trainerCountsAfreshFromATempoSetByHand()
    {
        const BeatSettings settings = Trainer(2, 10, 2);
        BeatSequence sequence;
        sequence.SetTempo(100);
        QStringList seen;
        for (int beat = 0; beat < 12; ++beat) {
            if (beat == 5) {
                sequence.SetTempo(150); // on the second beat of bar 3
            }
            const BeatDecision d = sequence.Decide(settings);
            if (d.FBarStart) {
                seen << QString::number(d.FTempo);
            }
        }
        // Bars 1-2 at 100, bar 3 steps to 110 and is set to 150 on its second beat; bar 4 is the
        // first whole bar at 150, bar 5 the second, bar 6 the step.
        QCOMPARE(seen.join(' '), QStringLiteral("100 100 110 150 150 160"));
    }

    // The adaptive trainer steps only after M bars in a row that the coach judged clean; a bar
    // played off the window starts the count again. Each letter is the coach's verdict on a bar
    // ('c' clean, 'x' not), reported as the bar after it begins; each number the tempo of a bar.
    void adaptiveTrainerStepsOnCleanBars_data()
    {
        QTest::addColumn<QString>("verdicts");
        QTest::addColumn<QString>("tempi");
        QTest::newRow("every bar clean") << "cccccc" << "100 100 105 105 110 110 115";
        QTest::newRow("a bar off the window starts again") << "ccxccc" << "100 100 105 105 105 110 110";
        QTest::newRow("never clean: never a step") << "xxxxxx" << "100 100 100 100 100 100 100";
    }
    void adaptiveTrainerStepsOnCleanBars()
    {
        QFETCH(QString, verdicts);
        QFETCH(QString, tempi);
        BeatSettings settings = Trainer(1, 5, 2);
        settings.FPractice.FTrainerWindow = 20;
        BeatSequence sequence;
        sequence.SetTempo(100);
        QStringList seen;
        for (int bar = 0; bar <= verdicts.size(); ++bar) {
            if (bar > 0) {
                sequence.ReportBar(verdicts[bar - 1] == QLatin1Char('c'));
            }
            seen << QString::number(sequence.Decide(settings).FTempo);
        }
        QCOMPARE(seen.join(' '), tempi);
    }

    void practiceSettingsComeIntoRange_data()
    {
        QTest::addColumn<PracticeSettings>("given");
        QTest::addColumn<PracticeSettings>("expected");
        QTest::newRow("defaults stay") << PracticeSettings{} << PracticeSettings{};
        QTest::newRow("every field below its range")
            << PracticeSettings{-1, -1, -1, 0, 0, -1, -1, -21, 0, 39, -1, 0, -1, 34}
            << PracticeSettings{0, 0, 0, 1, 1, 0, 0, -20, 1, 40, 0, 1, 0, 35};
        QTest::newRow("every field above its range")
            << PracticeSettings{101, 3, 3, 17, 17, 91, 2, 21, 65, 209, 51, 5, 101, 82}
            << PracticeSettings{100, 2, 2, 16, 16, 90, 1, 20, 64, 208, 50, 4, 100, 81};
        QTest::newRow("a step of 0 is the default step")
            << PracticeSettings{100, 0, 0, 4, 4, 30, 1, 0, 4, 160, 0, 1, 50, 42}
            << PracticeSettings{100, 0, 0, 4, 4, 30, 1, 5, 4, 160, 0, 1, 50, 42};
        QTest::newRow("a window below 5 ms is 5")
            << PracticeSettings{100, 0, 0, 4, 4, 30, 1, 5, 4, 160, 3, 1, 50, 42}
            << PracticeSettings{100, 0, 0, 4, 4, 30, 1, 5, 4, 160, 5, 1, 50, 42};
    }
    void practiceSettingsComeIntoRange()
    {
        QFETCH(PracticeSettings, given);
        QFETCH(PracticeSettings, expected);
        QVERIFY(given.Clamped() == expected);
    }
};

QTEST_GUILESS_MAIN(TestBeatRules)
#include "test_beatrules.moc"
