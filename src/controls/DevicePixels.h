#pragma once

#include <cmath>

/// Mapping from logical to device pixels for controls that paint on the device grid, so their
/// one-pixel lines stay crisp at fractional scale factors.
namespace DevicePixels {

/// The device pixel edge of a logical edge. Edges are mapped, not lengths, so neighbouring
/// logical pixels never overlap or leave a gap on the device grid.
inline int edge(int logical, double ratio) {
    return static_cast<int>(std::floor(logical * ratio + 0.5));
}

/// Thickness in device pixels of a one-pixel line: at least one, whole device pixels only.
inline int lineWidth(double ratio) {
    const int width = static_cast<int>(std::floor(ratio));
    return width < 1 ? 1 : width;
}

} // namespace DevicePixels
