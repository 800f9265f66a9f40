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
};

QTEST_GUILESS_MAIN(TestBeatRules)
#include "test_beatrules.moc"
