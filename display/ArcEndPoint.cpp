#include "ArcEndPoint.h"

#include <cmath>
#include <numbers>

namespace {

// num / den to the nearest integer, halves to the even neighbour; den > 0.
int RoundHalfEven(long long num, long long den)
{
    long long quotient = num / den;
    long long remainder = num % den;
    if (remainder < 0) {
        remainder += den;
        --quotient;
    }
    if (2 * remainder > den || (2 * remainder == den && quotient % 2 != 0)) {
        ++quotient;
    }
    return static_cast<int>(quotient);
}

} // namespace

TPoint ArcEndPoint(int R, int N, int q)
{
    if (N < 1) {
        return {R, 0};
    }
    int angle = RoundHalfEven(static_cast<long long>(q) * 360, N) % 360;
    if (angle < 0) {
        angle += 360;
    }
    const double a = (angle % 90) * std::numbers::pi / 180.0;
    // nearbyint rounds halves to even in the default rounding mode.
    const int S = static_cast<int>(std::nearbyint(R * std::sin(a)));
    const int C = static_cast<int>(std::nearbyint(R * std::cos(a)));
    switch (angle / 90) {
    case 0:
        return {R + S, R - C};
    case 1:
        return {R + C, R + S};
    case 2:
        return {R - S, R + C};
    default:
        return {R - C, R - S};
    }
}
