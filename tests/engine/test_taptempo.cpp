// Tap tempo from the taps' own moments: the mean of the last four intervals, a new series after
// a pause of more than 2 s, the result rounded and brought into 40..208.
#include "TapTempo.h"

#include <QtTest>

class TestTapTempo final : public QObject
{
    Q_OBJECT

private slots:
    void tempoFromTheTaps_data()
    {
        QTest::addColumn<QList<qint64>>("taps");
        QTest::addColumn<QList<int>>("tempos"); // after each tap; 0 for none
        QTest::newRow("one tap: nothing yet") << QList<qint64>{1000} << QList<int>{0};
        QTest::newRow("two taps 500 ms apart") << QList<qint64>{1000, 1500} << QList<int>{0, 120};
        QTest::newRow("rounded: 700 ms is 85.7") << QList<qint64>{0, 700} << QList<int>{0, 86};
        QTest::newRow("the mean of the intervals so far")
            << QList<qint64>{0, 500, 1100} << QList<int>{0, 120, 109};
        QTest::newRow("only the last four intervals")
            << QList<qint64>{0, 1000, 1500, 2000, 2500, 3000} << QList<int>{0, 60, 80, 90, 96, 120};
        QTest::newRow("too fast: 208") << QList<qint64>{0, 100} << QList<int>{0, 208};
        QTest::newRow("2 s apart still counts: 40") << QList<qint64>{0, 2000} << QList<int>{0, 40};
        QTest::newRow("a pause over 2 s starts afresh")
            << QList<qint64>{0, 500, 2501, 3001} << QList<int>{0, 120, 0, 120};
        QTest::newRow("the same moment twice adds nothing")
            << QList<qint64>{0, 500, 500, 1000} << QList<int>{0, 120, 0, 120};
        QTest::newRow("a moment before the last starts afresh")
            << QList<qint64>{5000, 5500, 100, 600} << QList<int>{0, 120, 0, 120};
    }
    void tempoFromTheTaps()
    {
        QFETCH(QList<qint64>, taps);
        QFETCH(QList<int>, tempos);
        TapTempo tap;
        QList<int> seen;
        for (qint64 ms : taps) {
            seen << tap.Tap(ms).value_or(0);
        }
        QCOMPARE(seen, tempos);
    }
};

QTEST_GUILESS_MAIN(TestTapTempo)
#include "test_taptempo.moc"
