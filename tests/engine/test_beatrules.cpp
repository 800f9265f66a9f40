#include "BeatRules.h"

#include <QtTest>

class TestBeatRules final : public QObject
{
    Q_OBJECT

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
        settings.FCountInBars = bars;
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
        settings.FSilentBars = BeatSettings::SilentBars::Pattern;
        settings.FPlayBars = play;
        settings.FSilentCount = silent;
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
        settings.FSilentBars = BeatSettings::SilentBars::Random;
        settings.FSilentPercent = percent;
        BeatSequence silentOnes;
        BeatSettings plainSettings = settings;
        plainSettings.FSilentBars = BeatSettings::SilentBars::Off;
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
};

QTEST_GUILESS_MAIN(TestBeatRules)
#include "test_beatrules.moc"
