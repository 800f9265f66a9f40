#include "ArcEndPoint.h"

#include <QtTest>

Q_DECLARE_METATYPE(TPoint)

class TestArcEndPoint final : public QObject
{
    Q_OBJECT

private slots:
    void endPointsOfTheBarCircle_data()
    {
        QTest::addColumn<int>("N");
        QTest::addColumn<int>("q");
        QTest::addColumn<TPoint>("expected");
        // The end points on the 58x58 picture (R = 28) for every rhythm and beat position.
        const QList<QList<TPoint>> table{
            {{28, 0}},
            {{28, 0}, {28, 56}},
            {{28, 0}, {52, 42}, {4, 42}},
            {{28, 0}, {56, 28}, {28, 56}, {0, 28}},
            {{28, 0}, {55, 19}, {44, 51}, {12, 51}, {1, 19}},
            {{28, 0}, {52, 14}, {52, 42}, {28, 56}, {4, 42}, {4, 14}},
            {{28, 0}, {50, 10}, {55, 34}, {40, 53}, {16, 53}, {1, 34}, {6, 10}},
            {{28, 0}, {48, 8}, {56, 28}, {48, 48}, {28, 56}, {8, 48}, {0, 28}, {8, 8}},
        };
        for (int n = 1; n <= 8; ++n) {
            const QList<TPoint>& row = table[n - 1];
            QCOMPARE(row.size(), n);
            for (int q = 0; q < n; ++q) {
                QTest::addRow("N=%d q=%d", n, q) << n << q << row[q];
            }
        }
    }
    void endPointsOfTheBarCircle()
    {
        QFETCH(int, N);
        QFETCH(int, q);
        QFETCH(TPoint, expected);
        const TPoint p = ArcEndPoint(28, N, q);
        QCOMPARE(p.X, expected.X);
        QCOMPARE(p.Y, expected.Y);
    }

    void otherRadii()
    {
        // R = 10, N = 4: the four compass points.
        QCOMPARE(ArcEndPoint(10, 4, 1), (TPoint{20, 10}));
        QCOMPARE(ArcEndPoint(10, 4, 3), (TPoint{0, 10}));
        // R = 100, N = 3, q = 1: 120 degrees, sin 30 = 0.5 exactly, cos 30 * 100 = 86.6.
        QCOMPARE(ArcEndPoint(100, 3, 1), (TPoint{187, 150}));
    }

    void impossibleRhythmsStayOnTheCircle()
    {
        // N = 0 must not divide by zero; positions past the bar wrap instead of leaving the circle.
        QCOMPARE(ArcEndPoint(28, 0, 0), (TPoint{28, 0}));
        QCOMPARE(ArcEndPoint(28, -3, 1), (TPoint{28, 0}));
        QCOMPARE(ArcEndPoint(28, 4, 5), ArcEndPoint(28, 4, 1));
        QCOMPARE(ArcEndPoint(28, 4, -1), ArcEndPoint(28, 4, 3));
    }
};

QTEST_APPLESS_MAIN(TestArcEndPoint)
#include "test_arcendpoint.moc"
