#include "ColourConv.h"

QColor ToQColor(TColor colour)
{
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

TColor FromQColor(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return static_cast<TColor>(rgb.red()) | (static_cast<TColor>(rgb.green()) << 8) |
           (static_cast<TColor>(rgb.blue()) << 16);
}
