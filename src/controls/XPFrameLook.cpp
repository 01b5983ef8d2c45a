#include "controls/XPFrameLook.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace XPFrameLook {

using ControlGeometry::roundHalfEven;

int normalisedAngle(int degrees) {
    const int angle = degrees % 360;
    return angle < 0 ? angle + 360 : angle;
}

WinColor::Value blend(WinColor::Value first, WinColor::Value second, double t) {
    auto channel = [t](int a, int b) { return roundHalfEven(a * t + b * (1.0 - t)); };
    return WinColor::Rgb(channel(WinColor::Red(first), WinColor::Red(second)),
                         channel(WinColor::Green(first), WinColor::Green(second)),
                         channel(WinColor::Blue(first), WinColor::Blue(second)));
}

Gradient::Gradient(int width, int height, WinColor::Value first, WinColor::Value second,
                   int degrees) {
    if (width < 2 || height < 2) {
        return;
    }
    // Direction on the screen, y pointing down. Multiples of 90 degrees are set exactly, so
    // their lines are true columns or rows and no tangent is ever infinite.
    const int angle = normalisedAngle(degrees);
    double dx = 0.0;
    double dy = 0.0;
    switch (angle) {
    case 0:
        dx = 1.0;
        break;
    case 90:
        dy = -1.0;
        break;
    case 180:
        dx = -1.0;
        break;
    case 270:
        dy = 1.0;
        break;
    default: {
        const double radians = angle * std::numbers::pi / 180.0;
        dx = std::cos(radians);
        dy = -std::sin(radians);
        break;
    }
    }
    // Lines stand across the dominant axis of the direction; the slope, at most 1 in size, is
    // how far a line shifts along that axis per pixel across it.
    m_alongX = std::abs(dx) >= std::abs(dy) - 1e-12;
    m_slope = m_alongX ? dy / dx : dx / dy;
    m_reversed = m_alongX ? dx < 0 : dy < 0;
    m_extent = m_alongX ? width : height;
    const int across = m_alongX ? height : width;
    const int shift = roundHalfEven((across - 1) * m_slope);
    m_origin = std::min(0, shift);
    const int lines = m_extent + std::abs(shift);
    m_colours.reserve(static_cast<std::size_t>(lines));
    for (int k = 0; k < lines; ++k) {
        m_colours.push_back(blend(first, second, static_cast<double>(k) / (lines - 1)));
    }
}

int Gradient::lineAt(int x, int y) const {
    const int along = m_alongX ? x : y;
    const int across = m_alongX ? y : x;
    const int k = along + roundHalfEven(across * m_slope) - m_origin;
    return m_reversed ? lineCount() - 1 - k : k;
}

WinColor::Value Gradient::colourAt(int x, int y) const {
    if (m_colours.empty()) {
        return 0;
    }
    const int k = std::clamp(lineAt(x, y), 0, lineCount() - 1);
    return lineColour(k);
}

bool RoundedRect::contains(int x, int y) const {
    if (x < left || x > right || y < top || y > bottom) {
        return false;
    }
    const int diameter = std::min({corner, right - left + 1, bottom - top + 1});
    if (diameter <= 0) {
        return true;
    }
    // Pixel centres against the shape whose edges run along the outer pixel borders.
    const double r = diameter / 2.0;
    const double px = x + 0.5;
    const double py = y + 0.5;
    const double qx = std::clamp(px, left + r, right + 1 - r);
    const double qy = std::clamp(py, top + r, bottom + 1 - r);
    return (px - qx) * (px - qx) + (py - qy) * (py - qy) <= r * r;
}

RoundedRect::Span RoundedRect::span(int y) const {
    Span result{left, right};
    while (result.first <= result.last && !contains(result.first, y)) {
        ++result.first;
    }
    while (result.last >= result.first && !contains(result.last, y)) {
        --result.last;
    }
    return result;
}

Ring ring(int width, int height, int curvature, int thickness) {
    const int corner = std::clamp(curvature, 0, std::max(0, std::min(width, height)));
    const int t = std::max(1, thickness);
    return {{0, 0, width - 1, height - 1, corner}, {t, t, width - 1 - t, height - 1 - t, corner}};
}

int headerBand(int style, int headerHeight, int frameHeight) {
    if (style != 0 || headerHeight <= 0 || frameHeight <= 0) {
        return 0;
    }
    return std::min(headerHeight, frameHeight);
}

Point captionPosition(int width, int band, int textWidth, int textHeight, int letterWidth,
                      int alignment, bool withIcon) {
    const int y = roundHalfEven((band - textHeight) / 2.0);
    switch (alignment) {
    case 1:
        return {width - textWidth - letterWidth, y};
    case 2:
        return {roundHalfEven((width - textWidth) / 2.0), y};
    default:
        return {letterWidth + (withIcon ? band : 0), y};
    }
}

IconBox iconBox(int band) {
    const int side = band - 4;
    return side >= 1 ? IconBox{2, 2, side} : IconBox{};
}

} // namespace XPFrameLook
