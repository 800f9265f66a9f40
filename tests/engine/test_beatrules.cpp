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
};

QTEST_GUILESS_MAIN(TestBeatRules)
#include "test_beatrules.moc"
