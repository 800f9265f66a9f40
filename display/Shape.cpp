#include "Shape.h"

#include "AccessibleClick.h"
#include "ColourConv.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

TShape::TShape(int tag, QWidget* parent) : QWidget(parent), FTag(tag)
{
    resize(20, 20);
    MakeAccessibleClick(this, QAccessible::CheckBox, [this] { emit MouseUp(this); },
                        [this] { return FPenWidth > 1; });
}

void TShape::SetAccessibleTexts(const QString& name, const QString& narrow, const QString& wide)
{
    FNarrowText = narrow;
    FWideText = wide;
    setAccessibleName(name);
    setAccessibleDescription(FPenWidth > 1 ? FWideText : FNarrowText);
}

void TShape::SetBrushColor(TColor colour)
{
    if (colour == FBrush) {
        return;
    }
    FBrush = colour;
    update();
}

void TShape::SetPenWidth(int width)
{
    width = std::max(width, 1);
    if (width == FPenWidth) {
        return;
    }
    FPenWidth = width;
    setAccessibleDescription(FPenWidth > 1 ? FWideText : FNarrowText);
    AnnounceChecked(this);
    update();
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(Qt::black);
    pen.setWidthF(FPenWidth);
    painter.setPen(pen);
    painter.setBrush(ToQColor(FBrush));
    // The largest circle centred in the widget, the outline drawn inside its edge so a wide
    // outline is not clipped.
    const qreal side = std::min(width(), height());
    const qreal inset = FPenWidth / 2.0;
    const QRectF box((width() - side) / 2.0 + inset, (height() - side) / 2.0 + inset, side - FPenWidth,
                     side - FPenWidth);
    painter.drawEllipse(box);
}

void TShape::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (rect().contains(event->position().toPoint())) {
        emit MouseUp(this);
    }
}
