#include "controls/ButtonLook.h"

#include <algorithm>

namespace ButtonLook {

using ControlGeometry::roundHalfEven;
using WinColor::Rgb;
using WinColor::System;

Size paintedSize(Size size, int shape) {
    size.width = std::max(size.width, MinimumSide);
    size.height = std::max(size.height, MinimumSide);
    if (shape >= 2 && shape <= 11) {
        size.height = size.width;
    }
    return size;
}

void applyStylePreset(int style, Colours& colours, int& styleColors) {
    const WinColor::Value face = System(WinColor::ButtonFace);
    auto set = [&colours](WinColor::Value back, WinColor::Value pressed, WinColor::Value hover) {
        colours.back = back;
        colours.backPressed = pressed;
        colours.backHover = hover;
    };
    switch (style) {
    case 1:
    case 2:
    case 3:
        set(face, face, face);
        break;
    case 4:
        set(face, Rgb(153, 153, 153), face);
        if (styleColors != 0) {
            styleColors = 1;
        }
        break;
    case 5:
        set(face, Rgb(128, 140, 175), Rgb(159, 165, 182));
        break;
    case 6:
        set(Rgb(221, 222, 210), Rgb(255, 255, 255), Rgb(255, 255, 255));
        if (styleColors != 0) {
            styleColors = 3;
        }
        break;
    case 7:
        set(Rgb(216, 216, 216), Rgb(146, 206, 239), Rgb(165, 219, 247));
        break;
    case 8: {
        const WinColor::Value desktop = System(WinColor::Desktop);
        set(desktop, desktop, desktop);
        break;
    }
    default:
        break;
    }
}

void applyThemePreset(int theme, Colours& colours) {
    struct Preset {
        WinColor::Value back, pressed, hover, outline;
    };
    static constexpr std::array<Preset, 8> presets{{
        {Rgb(154, 179, 241), Rgb(221, 230, 250), Rgb(244, 247, 253), Rgb(154, 179, 241)},
        {Rgb(162, 180, 61), Rgb(224, 231, 184), Rgb(242, 244, 223), Rgb(162, 180, 61)},
        {Rgb(157, 160, 181), Rgb(230, 231, 236), Rgb(244, 245, 247), Rgb(157, 160, 181)},
        {Rgb(194, 194, 171), Rgb(238, 237, 230), Rgb(248, 248, 242), Rgb(194, 194, 171)},
        {Rgb(245, 197, 2), Rgb(254, 239, 175), Rgb(255, 249, 226), Rgb(245, 197, 2)},
        {Rgb(139, 54, 38), Rgb(238, 92, 66), Rgb(255, 99, 71), Rgb(255, 0, 0)},
        {Rgb(46, 139, 87), Rgb(67, 205, 128), Rgb(84, 255, 159), Rgb(0, 255, 0)},
        {Rgb(39, 64, 139), Rgb(58, 95, 205), Rgb(72, 118, 255), Rgb(0, 0, 255)},
    }};
    if (theme < 1 || theme > static_cast<int>(presets.size())) {
        return;
    }
    const Preset& p = presets[static_cast<std::size_t>(theme - 1)];
    colours.back = p.back;
    colours.backPressed = p.pressed;
    colours.backHover = p.hover;
    colours.border = colours.borderPressed = colours.borderHover = p.outline;
}

void forceOutlines(int style, int styleColors, bool enabled, Colours& colours) {
    switch (style) {
    case 1:
    case 2:
        colours.border = colours.borderHover = System(WinColor::DarkShadow);
        colours.borderPressed = System(WinColor::ButtonHighlight);
        break;
    case 7:
        colours.border = Rgb(142, 143, 143);
        colours.borderHover = Rgb(60, 127, 177);
        colours.borderPressed = Rgb(29, 65, 92);
        if (styleColors != 0 && !enabled) {
            colours.border = Rgb(173, 178, 181);
        }
        break;
    case 8:
        colours.border = colours.back;
        colours.borderHover = colours.backHover;
        colours.borderPressed = colours.backPressed;
        break;
    default:
        break;
    }
}

WinColor::Value stateColour(State state, WinColor::Value idle, WinColor::Value pressed,
                            WinColor::Value hovered) {
    if (state.pressed) {
        return pressed;
    }
    return state.hovered ? hovered : idle;
}

Gradient gradientColours(int style, int styleColors, const Colours& colours, State state) {
    if (style == 7 && styleColors != 0) {
        if (!state.enabled) {
            return {Rgb(240, 240, 240), Rgb(244, 244, 244)};
        }
        if (state.pressed) {
            return {colours.backPressed, Rgb(213, 236, 248)};
        }
        if (state.hovered) {
            return {colours.backHover, Rgb(247, 252, 254)};
        }
        return {colours.back, Rgb(239, 239, 239)};
    }
    // Idle shares the pressed colour as its second stop.
    return {colours.back,
            state.hovered && !state.pressed ? colours.backHover : colours.backPressed};
}

std::array<Band, 2> glassBands(int extent) {
    return {Band{0, roundHalfEven(extent / 1.5)}, Band{roundHalfEven(extent / 2.0), extent + 25}};
}

bool horizontalGradient(int shape) {
    return shape == 4 || shape == 7 || shape == 8 || shape == 11;
}

Point captionPosition(int width, int height, int textWidth, int textHeight, int alignment) {
    const int centreX = roundHalfEven((width - textWidth) / 2.0);
    const int centreY = roundHalfEven((height - textHeight) / 2.0);
    switch (alignment) {
    case 0:
        // The fraction keeps y at 5 or 6; a caption taller than the button moves it up.
        return {centreX, roundHalfEven(5 + static_cast<double>(height - textHeight) / height)};
    case 1:
        return {roundHalfEven(5 + static_cast<double>(width - textWidth) / width), centreY};
    case 3:
        return {width - textWidth - 5, centreY};
    case 4:
        return {centreX, height - textHeight - 5};
    default:
        return {centreX, centreY};
    }
}

Point picturePosition(int width, int height, int pictureWidth, int pictureHeight, int alignment) {
    const int centreX = roundHalfEven((width - pictureWidth) / 2.0);
    const int centreY = roundHalfEven((height - pictureHeight) / 2.0);
    switch (alignment) {
    case 0:
        return {centreX, 5};
    case 1:
        return {5, centreY};
    case 3:
        return {width - pictureWidth - 5, centreY};
    case 4:
        return {centreX, height - pictureHeight - 5};
    default:
        return {centreX, centreY};
    }
}

std::vector<Point> captionEffectOffsets(int effect, bool pressed) {
    switch (effect) {
    case 1:
        return {{-1, -1}};
    case 2:
        return pressed ? std::vector<Point>{{2, 2}} : std::vector<Point>{{1, 1}};
    case 3:
        return {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    default:
        return {};
    }
}

bool embossedDisabledCaption(int style) {
    return style != 4 && style != 6 && style != 7 && style != 8;
}

bool drawsFocusDots(int style) {
    return style != 4 && style != 6 && style != 7;
}

std::vector<Point> shapePolygon(int shape, int side) {
    const int s = side - 1;
    const int m = s / 2;
    const int q = s / 4;
    if (shape == 3) {
        const int c = 3;
        return {{c, 0}, {s - c, 0}, {s, c}, {s, s - c}, {s - c, s}, {c, s}, {0, s - c}, {0, c}};
    }
    if (shape < 4 || shape > 11) {
        return {};
    }
    // Shapes 4..7 are triangles and 8..11 block arrows, pointing right, up, down and left;
    // each is drawn pointing right and then turned.
    std::vector<Point> right;
    if (shape <= 7) {
        right = {{0, 0}, {s, m}, {0, s}};
    } else {
        right = {{0, q}, {m, q}, {m, 0}, {s, m}, {m, s}, {m, s - q}, {0, s - q}};
    }
    const int direction = (shape - 4) % 4;
    std::vector<Point> turned;
    turned.reserve(right.size());
    for (const Point& p : right) {
        switch (direction) {
        case 1: // up
            turned.push_back({p.y, s - p.x});
            break;
        case 2: // down
            turned.push_back({p.y, p.x});
            break;
        case 3: // left
            turned.push_back({s - p.x, p.y});
            break;
        default:
            turned.push_back(p);
            break;
        }
    }
    return turned;
}

} // namespace ButtonLook
