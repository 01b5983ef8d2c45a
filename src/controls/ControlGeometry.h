#pragma once

#include <cmath>

/// Small geometry helpers shared by the owner-drawn controls' rule functions and the windows
/// laid out in twips.
namespace ControlGeometry {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

/// Rounds to the nearest integer with halves going to the even neighbour, the rounding the
/// controls' position and colour rules are written for.
inline int roundHalfEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

/// Screen pixels of a distance in twips (15 twips a pixel), rounded to the nearest, halves away
/// from zero.
inline constexpr int PixelsFromTwips(int twips) {
    return twips >= 0 ? (twips + 7) / 15 : -((-twips + 7) / 15);
}

} // namespace ControlGeometry
