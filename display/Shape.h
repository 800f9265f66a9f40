#pragma once

#include "Colour.h"

#include <QWidget>

// A circle light: white fill when off, the beat's colour when lit, black outline of width 1,
// or 2 for an accented beat position. Releasing any mouse button over it raises MouseUp.
// Assistive technology sees a check box, checked with the wide outline, whose action raises MouseUp.
class TShape final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TShape)

public:
    TShape(int tag, QWidget* parent);
    int Tag() const { return FTag; }
    TColor BrushColor() const { return FBrush; }
    void SetBrushColor(TColor colour);
    int PenWidth() const { return FPenWidth; }
    void SetPenWidth(int width);
    // The name read out, and the description for the narrow and the wide outline.
    void SetAccessibleTexts(const QString& name, const QString& narrow, const QString& wide);

signals:
    void MouseUp(TShape* sender);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int FTag;
    TColor FBrush = clWhite;
    int FPenWidth = 1;
    QString FNarrowText;
    QString FWideText;
};
