#pragma once

struct TPoint
{
    int X;
    int Y;
    bool operator==(const TPoint&) const = default;
};

// The point at angle q*360/N (clockwise from twelve o'clock) on the circle of radius R around (R, R),
// rounded to whole pixels exactly as the bar circle needs it.
TPoint ArcEndPoint(int R, int N, int q);
