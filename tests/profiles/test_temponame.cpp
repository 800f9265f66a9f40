#include "TempoName.h"

#include <QtTest>

class TestTempoName final : public QObject
{
    Q_OBJECT

private slots:
    void wordAtEveryBound_data()
    {
        QTest::addColumn<int>("bpm");
        QTest::addColumn<QString>("word");
        QTest::newRow("negative") << -120 << QString();
        QTest::newRow("zero") << 0 << QString();
        QTest::newRow("39") << 39 << QString();
        QTest::newRow("40") << 40 << "Largo";
        QTest::newRow("59") << 59 << "Largo";
        QTest::newRow("60") << 60 << "Larghetto";
        QTest::newRow("68") << 68 << "Larghetto";
        QTest::newRow("69") << 69 << "Adagio";
        QTest::newRow("79") << 79 << "Adagio";
        QTest::newRow("80") << 80 << "Andante";
        QTest::newRow("111") << 111 << "Andante";
        QTest::newRow("112") << 112 << "Moderato";
        QTest::newRow("125") << 125 << "Moderato";
        QTest::newRow("126") << 126 << "Allegro";
        QTest::newRow("167") << 167 << "Allegro";
        QTest::newRow("168") << 168 << "Presto";
        QTest::newRow("208") << 208 << "Presto";
        QTest::newRow("209") << 209 << QString();
        QTest::newRow("int max") << std::numeric_limits<int>::max() << QString();
        QTest::newRow("int min") << std::numeric_limits<int>::min() << QString();
    }
    void wordAtEveryBound()
    {
        QFETCH(int, bpm);
        QFETCH(QString, word);
        QCOMPARE(TempoName(bpm), word);
    }

    // Every tempo of the range has a word and the words change only at the bounds.
    void everyTempoInRangeHasOneWord()
    {
        const QList<int> bounds = {60, 69, 80, 112, 126, 168};
        for (int bpm = 40; bpm <= 208; ++bpm) {
            QVERIFY2(!TempoName(bpm).isEmpty(), qPrintable(QString::number(bpm)));
            if (bpm > 40) {
                QCOMPARE(TempoName(bpm) != TempoName(bpm - 1), bounds.contains(bpm));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestTempoName)
#include "test_temponame.moc"
