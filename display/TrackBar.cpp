#include "TrackBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

namespace {

constexpr int TickLength = 4;
constexpr int TickGap = 2;

} // namespace

TTrackBar::TTrackBar(int minValue, int maxValue, int position, QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
{
    setRange(minValue, maxValue);
    setValue(position);
    // Reserve the room for marks on both sides; the marks themselves are painted here.
    setTickPosition(QSlider::TicksBothSides);
}

void TTrackBar::SetTickMarks(const QVector<int>& values)
{
    FMarks = values;
    update();
}

int TTrackBar::TickX(int value) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    // The handle's centre travels from half a handle inside the groove's left end to half a handle
    // inside its right end; a mark sits where the centre would be at that value.
    const int length = handle.width();
    return groove.left() + length / 2 +
           QStyle::sliderPositionFromValue(minimum(), maximum(), value, groove.width() - length,
                                           option.upsideDown);
}

void TTrackBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);

    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int aboveBottom = std::max(handle.top() - TickGap, TickLength);
    const int belowTop = std::min(handle.bottom() + 1 + TickGap, height() - TickLength);
    const QColor colour = palette().color(QPalette::WindowText);

    QVector<int> values = FMarks;
    values << minimum() << maximum();
    for (const int value : values) {
        if (value < minimum() || value > maximum()) {
            continue;
        }
        const int x = TickX(value);
        // Filled rectangles on whole logical pixels stay one crisp line at any device pixel ratio.
        painter.fillRect(QRect(x, aboveBottom - TickLength, 1, TickLength), colour);
        painter.fillRect(QRect(x, belowTop, 1, TickLength), colour);
    }
}
