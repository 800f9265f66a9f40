#include "BarCircle.h"
#include "ColourConv.h"

#include <QtTest>

#include <cmath>
#include <numbers>

namespace {

const QColor Silver(0xC0, 0xC0, 0xC0);
const QColor Black(0, 0, 0);
const QColor White(255, 255, 255);
const QColor Red(255, 0, 0);
const QColor Magenta(255, 0, 255);

// The pixel at `degrees` clockwise from twelve o'clock, `radius` pixels from the disc's centre.
QColor At(const QImage& picture, double degrees, double radius = 18.0)
{
    const double a = degrees * std::numbers::pi / 180.0;
    const double cx = picture.width() / 2.0;
    const double cy = picture.height() / 2.0;
    const int x = static_cast<int>(std::floor(cx + radius * std::sin(a)));
    const int y = static_cast<int>(std::floor(cy - radius * std::cos(a)));
    return picture.pixelColor(x, y);
}

} // namespace

class TestBarCircle final : public QObject
{
    Q_OBJECT

private slots:
    void colourConversion_data()
    {
        QTest::addColumn<uint>("colour");
        QTest::addColumn<QColor>("qcolor");
        QTest::newRow("red has the low byte") << uint(clRed) << Red;
        QTest::newRow("magenta") << uint(clFuchsia) << Magenta;
        QTest::newRow("silver") << uint(clSilver) << Silver;
        QTest::newRow("mixed") << uint(0x00123456) << QColor(0x56, 0x34, 0x12);
    }
    void colourConversion()
    {
        QFETCH(uint, colour);
        QFETCH(QColor, qcolor);
        QCOMPARE(ToQColor(colour), qcolor);
        QCOMPARE(FromQColor(qcolor), TColor(colour));
    }

    void sectorGrowsThroughFourFour_data()
    {
        QTest::addColumn<int>("q");
        QTest::addColumn<QList<double>>("inside");
        QTest::addColumn<QList<double>>("outside");
        // After beat k of the bar q = k mod 4: a quarter, a half, three quarters, the whole disc.
        QTest::newRow("beat 1") << 1 << QList<double>{10, 45, 80} << QList<double>{100, 180, 270, 350};
        QTest::newRow("beat 2") << 2 << QList<double>{10, 95, 170} << QList<double>{190, 270, 350};
        QTest::newRow("beat 3") << 3 << QList<double>{10, 180, 260} << QList<double>{280, 350};
        QTest::newRow("beat 4") << 0 << QList<double>{5, 90, 180, 270, 355} << QList<double>{};
    }
    void sectorGrowsThroughFourFour()
    {
        QFETCH(int, q);
        QFETCH(QList<double>, inside);
        QFETCH(QList<double>, outside);
        TBarCircle circle(nullptr);
        circle.PaintBeat(q, 4, clRed);
        const QImage picture = circle.Picture();
        QCOMPARE(picture.size(), QSize(58, 58));
        for (const double degrees : inside) {
            QCOMPARE(At(picture, degrees), Red);
        }
        for (const double degrees : outside) {
            QCOMPARE(At(picture, degrees), White);
        }
        // The frame, the silver corners and the black edge of the disc.
        QCOMPARE(picture.pixelColor(0, 0), Black);
        QCOMPARE(picture.pixelColor(57, 30), Black);
        QCOMPARE(picture.pixelColor(30, 57), Black);
        QCOMPARE(picture.pixelColor(3, 3), Silver);
        QCOMPARE(picture.pixelColor(54, 54), Silver);
        QVERIFY(qGray(At(picture, 200, 27.5).rgb()) < 100);
    }

    void sevenBeatSectorEndsNearFiftyOneDegrees()
    {
        TBarCircle circle(nullptr);
        circle.PaintBeat(1, 7, clFuchsia);
        const QImage picture = circle.Picture();
        QCOMPARE(At(picture, 44), Magenta);
        QCOMPARE(At(picture, 58), White);
        circle.PaintBeat(6, 7, clRed);
        const QImage later = circle.Picture();
        QCOMPARE(At(later, 300), Red);
        QCOMPARE(At(later, 318), White);
    }

    void clearLeavesAWhiteDisc()
    {
        TBarCircle circle(nullptr);
        QCOMPARE(circle.Picture().pixelColor(29, 29).alpha(), 0); // nothing painted before the first beat
        circle.PaintBeat(0, 4, clRed);
        circle.Clear();
        const QImage picture = circle.Picture();
        for (const double degrees : {10.0, 100.0, 200.0, 300.0}) {
            QCOMPARE(At(picture, degrees), White);
        }
        QCOMPARE(picture.pixelColor(0, 0), Black);
        QCOMPARE(picture.pixelColor(3, 3), Silver);
    }

    void widgetPaintsCrisplyAtDoubleResolution()
    {
        TBarCircle circle(nullptr);
        circle.PaintBeat(1, 4, clRed);
        QImage image(116, 116, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2.0);
        image.fill(Qt::transparent);
        circle.render(&image);
        // The one-pixel frame becomes two whole device pixels, with no grey fringe beside it.
        QCOMPARE(image.pixelColor(0, 60), Black);
        QCOMPARE(image.pixelColor(1, 60), Black);
        QCOMPARE(image.pixelColor(2, 6), Silver);
        QCOMPARE(image.pixelColor(115, 60), Black);
        QCOMPARE(image.pixelColor(113, 6), Silver);
        QCOMPARE(image.pixelColor(80, 40), Red);
        QCOMPARE(image.pixelColor(30, 80), White);
    }
};

QTEST_MAIN(TestBarCircle)
#include "test_barcircle.moc"
