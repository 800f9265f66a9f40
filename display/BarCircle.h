#pragma once

#include "Colour.h"

#include <QImage>
#include <QWidget>

// The bar circle: a 58x58 picture, silver with a black frame, a white disc, and the sector from
// twelve o'clock clockwise to beat position q of N filled in the beat's colour.
class TBarCircle final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TBarCircle)

public:
    explicit TBarCircle(QWidget* parent);
    // q is the beat position after it advanced; q = 0 fills the whole disc.
    void PaintBeat(int q, int beatsPerBar, TColor c);
    // Stop: the white disc on the silver background.
    void Clear();
    // The picture at one device pixel per logical pixel, for checks and screenshots.
    QImage Picture() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Look { Blank, Sector, Cleared };
    Look FLook = Look::Blank;
    int FQ = 0;
    int FN = 1;
    TColor FColour = clWhite;
    void Draw(QPainter& painter) const;
};
