#include "Pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <functional>

namespace {

// The resolutions a picture is drawn at: the plain one and that of the sharpest screen, so that
// a scaled desktop gets it drawn anew at its own size instead of enlarged.
QList<qreal> Ratios()
{
    const qreal screen = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QList<qreal> ratios{1.0};
    if (screen > 1.0) {
        ratios << screen;
    }
    return ratios;
}

// A transparent square of `size` logical pixels at `ratio` device pixels each, painted by `draw`
// in logical coordinates.
QPixmap Draw(int size, qreal ratio, const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    draw(p);
    return pixmap;
}

QIcon IconOf(int size, const std::function<void(QPainter&)>& draw)
{
    QIcon icon;
    for (qreal ratio : Ratios()) {
        icon.addPixmap(Draw(size, ratio, draw));
    }
    return icon;
}

void DrawSmile(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1));
    p.setBrush(QColor(0xFF, 0xE0, 0x20));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setBrush(Qt::black);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(4.5, 4.5, 2, 2.5));
    p.drawEllipse(QRectF(9.5, 4.5, 2, 2.5));
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 5, 8, 7), 200 * 16, 140 * 16);
}

void DrawFloppy(QPainter& p)
{
    p.setPen(QPen(QColor(0x20, 0x20, 0x60), 1));
    p.setBrush(QColor(0x30, 0x40, 0xA0));
    p.drawRect(1, 1, 13, 13);
    p.setBrush(QColor(0xE0, 0xE0, 0xE0));
    p.drawRect(4, 1, 7, 5);
    p.setBrush(Qt::white);
    p.drawRect(3, 8, 9, 6);
}

void DrawCog(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath cog;
    const QPointF c(8, 8);
    for (int i = 0; i < 16; ++i) {
        const double a = i * M_PI / 8;
        const double r = (i % 2 == 0) ? 7.5 : 5.5;
        const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
        i == 0 ? cog.moveTo(pt) : cog.lineTo(pt);
    }
    cog.closeSubpath();
    cog.addEllipse(c, 2.2, 2.2);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 0.8));
    p.setBrush(QColor(0x90, 0x90, 0x98));
    p.drawPath(cog);
}

} // namespace

QPixmap SmilePicture()
{
    return Draw(16, Ratios().constLast(), DrawSmile);
}

QIcon FloppyIcon()
{
    return IconOf(16, DrawFloppy);
}

QIcon CogIcon()
{
    return IconOf(16, DrawCog);
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        QPolygonF body{{20, 58}, {44, 58}, {37, 8}, {27, 8}};
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 2));
        p.setBrush(QColor(0xA0, 0xA0, 0xA8));
        p.drawPolygon(body);
        p.setPen(QPen(QColor(0xD0, 0x10, 0x10), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(32, 50), QPointF(40, 14));
        p.setBrush(QColor(0xD0, 0x10, 0x10));
        p.drawEllipse(QPointF(38, 22), 3, 3);
        p.setPen(QPen(QColor(0x60, 0x60, 0x60), 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4, 20, 14, 20), 110 * 16, 140 * 16);
        p.drawArc(QRectF(46, 20, 14, 20), -70 * 16, 140 * 16);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
