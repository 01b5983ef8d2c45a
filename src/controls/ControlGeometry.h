#pragma once

#include <cmath>

/// Small geometry helpers shared by the owner-drawn controls' rule functions.
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

} // namespace ControlGeometry
