#include "TrackBar.h"

#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QtTest>

namespace {

const QVector<int> TempoScale{42,  44,  46,  48,  50,  52,  54,  56,  58,  60,  63,  66,  69,
                              72,  76,  80,  84,  88,  92,  96,  100, 104, 108, 112, 116, 120,
                              126, 132, 138, 144, 152, 160, 168, 176, 184, 192, 200};

// Whether the column x holds a dark mark in the rows [top, bottom).
bool MarkAt(const QImage& image, int x, int top, int bottom)
{
    for (int y = std::max(top, 0); y < std::min(bottom, image.height()); ++y) {
        if (qGray(image.pixel(x, y)) < 80) {
            return true;
        }
    }
    return false;
}

QRect HandleRect(const TTrackBar& slider, int value)
{
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = Qt::Horizontal;
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.sliderPosition = value;
    option.sliderValue = value;
    option.tickPosition = QSlider::TicksBothSides;
    option.subControls = QStyle::SC_All;
    return slider.style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider);
}

} // namespace

class TestTrackBar final : public QObject
{
    Q_OBJECT

private slots:
    void keepsItsMarksAndPaintsThem()
    {
        TTrackBar slider(40, 208, 96, nullptr);
        slider.resize(454, 45);
        slider.SetTickMarks(TempoScale);
        QCOMPARE(slider.TickMarks(), TempoScale);
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));

        const QImage image = slider.grab().toImage();
        QCOMPARE(image.width(), 454);
        // Marks above and below the handle's track at every scale value and at both ends.
        const QRect handle = HandleRect(slider, slider.value());
        const int above = handle.top();
        const int below = handle.bottom() + 1;
        QVector<int> marked = TempoScale;
        marked << 40 << 208;
        for (const int value : marked) {
            const int x = slider.TickX(value);
            QVERIFY2(MarkAt(image, x, above - 10, above),
                     qPrintable(QStringLiteral("no upper mark at %1").arg(value)));
            QVERIFY2(MarkAt(image, x, below, below + 10),
                     qPrintable(QStringLiteral("no lower mark at %1").arg(value)));
        }
        // None between two marks.
        for (const int value : {41, 43, 121, 205}) {
            const int x = slider.TickX(value);
            QVERIFY2(!MarkAt(image, x, 0, above) && !MarkAt(image, x, below, image.height()),
                     qPrintable(QStringLiteral("a mark at %1").arg(value)));
        }
        // Higher tempos stand further right, all inside the slider.
        QVERIFY(slider.TickX(40) >= 0);
        for (int value = 41; value <= 208; ++value) {
            QVERIFY(slider.TickX(value - 1) < slider.TickX(value));
        }
        QVERIFY(slider.TickX(208) < 454);
    }

    void markStandsUnderTheHandle()
    {
        TTrackBar slider(40, 208, 150, nullptr);
        slider.resize(454, 45);
        for (const int value : {40, 96, 150, 208}) {
            const QRect handle = HandleRect(slider, value);
            QVERIFY2(std::abs(handle.center().x() - slider.TickX(value)) <= 1,
                     qPrintable(QStringLiteral("value %1: handle at %2, mark at %3")
                                    .arg(value)
                                    .arg(handle.center().x())
                                    .arg(slider.TickX(value))));
        }
    }

    void changeOnlyOnARealMove()
    {
        TTrackBar slider(40, 208, 96, nullptr);
        QSignalSpy spy(&slider, &QSlider::valueChanged);
        slider.setValue(96);
        QCOMPARE(spy.count(), 0);
        slider.setValue(150);
        QCOMPARE(spy.count(), 1);
        slider.setValue(300);
        QCOMPARE(slider.value(), 208);
        QCOMPARE(spy.count(), 2);
    }
};

QTEST_MAIN(TestTrackBar)
#include "test_trackbar.moc"
