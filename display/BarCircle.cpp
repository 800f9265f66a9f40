#include "BarCircle.h"

#include "ArcEndPoint.h"
#include "ColourConv.h"

#include <QPainter>

#include <cmath>
#include <numbers>

namespace {

// Where the sector ends: the direction from the disc's centre point to the end point, in degrees
// clockwise from twelve o'clock.
double SectorAngle(int R, int N, int q)
{
    const TPoint end = ArcEndPoint(R, N, q);
    double degrees = std::atan2(end.X - R, R - end.Y) * 180.0 / std::numbers::pi;
    if (degrees < 0) {
        degrees += 360.0;
    }
    return degrees;
}

} // namespace

TBarCircle::TBarCircle(QWidget* parent) : QWidget(parent)
{
    resize(58, 58);
}

void TBarCircle::PaintBeat(int q, int beatsPerBar, TColor c)
{
    FLook = Look::Sector;
    FQ = q;
    FN = beatsPerBar;
    FColour = c;
    update();
}

void TBarCircle::Clear()
{
    FLook = Look::Cleared;
    update();
}

QImage TBarCircle::Picture() const
{
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Draw(painter);
    return image;
}

void TBarCircle::paintEvent(QPaintEvent*)
{
    // Drawn as shapes in logical coordinates, so a high-DPI screen gets them at its own resolution.
    QPainter painter(this);
    Draw(painter);
}

void TBarCircle::Draw(QPainter& painter) const
{
    if (FLook == Look::Blank) {
        return; // nothing painted yet: the panel shows through
    }
    const int W = width();
    const int H = height();
    const int R = (W - 2) / 2;

    // Silver background with a one-pixel black frame, as whole-pixel fills so the corners stay sharp.
    painter.fillRect(QRect(0, 0, W, H), Qt::black);
    painter.fillRect(QRect(1, 1, W - 2, H - 2), ToQColor(clSilver));

    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(Qt::black);
    pen.setWidthF(1.0);
    painter.setPen(pen);

    // The disc covers the pixels 1 .. W - 2.
    const QRectF disc(1.5, 1.5, W - 3, H - 3);
    painter.setBrush(Qt::white);
    painter.drawEllipse(disc);
    if (FLook == Look::Cleared) {
        return;
    }

    const QPointF centre = disc.center();
    const QPointF top(centre.x(), disc.top());
    painter.setBrush(ToQColor(FColour));
    const int q = FN >= 1 ? ((FQ % FN) + FN) % FN : 0;
    if (q == 0) {
        // The bar is complete: both radii lie at twelve o'clock and the whole disc is filled.
        painter.drawEllipse(disc);
        painter.drawLine(top, centre);
        return;
    }
    // Qt counts angles counter-clockwise from three o'clock in sixteenths of a degree.
    const int span = static_cast<int>(std::lround(SectorAngle(R, FN, q) * 16.0));
    painter.drawPie(disc, 90 * 16, -span);
}
