#include "StatusTexts.h"

#include <QtTest>

class TestStatusTexts final : public QObject
{
    Q_OBJECT

private slots:
    void barTexts()
    {
        QCOMPARE(StartBarText(), QStringLiteral(" Takt:  1"));
        QCOMPARE(BarCounterText(1), QStringLiteral("Takt:  1"));
        QCOMPARE(BarCounterText(12345), QStringLiteral("Takt:  12345"));
    }

    void runTime_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << 0 << QStringLiteral(" Čas:  00:00:00");
        QTest::newRow("first tick") << 1 << QStringLiteral(" Čas:  00:00:01");
        QTest::newRow("59 s") << 59 << QStringLiteral(" Čas:  00:00:59");
        QTest::newRow("60 s") << 60 << QStringLiteral(" Čas:  00:01:00");
        QTest::newRow("3600 s") << 3600 << QStringLiteral(" Čas:  01:00:00");
        QTest::newRow("3661 s") << 3661 << QStringLiteral(" Čas:  01:01:01");
        QTest::newRow("36000 s") << 36000 << QStringLiteral(" Čas:  10:00:00");
        QTest::newRow("just under 100 h") << 359999 << QStringLiteral(" Čas:  99:59:59");
        // From 100 hours on the hour field shows all its digits rather than wrapping or truncating.
        QTest::newRow("100 h") << 360000 << QStringLiteral(" Čas:  100:00:00");
        QTest::newRow("1234 h 5 min 6 s") << 1234 * 3600 + 5 * 60 + 6 << QStringLiteral(" Čas:  1234:05:06");
    }
    void runTime()
    {
        QFETCH(int, seconds);
        QFETCH(QString, text);
        QCOMPARE(RunTimeText(seconds), text);
    }

    void runTimeTextHasFifteenCharactersBelowHundredHours() { QCOMPARE(RunTimeText(3661).size(), 15); }
};

QTEST_APPLESS_MAIN(TestStatusTexts)
#include "test_statustexts.moc"
