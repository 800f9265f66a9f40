#pragma once

#include "Colour.h"

#include <QColor>

QColor ToQColor(TColor colour);
TColor FromQColor(const QColor& colour);
