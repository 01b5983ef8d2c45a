#include "controls/VelkXpLook.h"

#include "controls/ControlGeometry.h"

namespace VelkXpLook {

namespace {

WinColor::Value mix(WinColor::Value from, WinColor::Value to, double t) {
    auto channel = [t](int a, int b) { return ControlGeometry::roundHalfEven(a + (b - a) * t); };
    return WinColor::Rgb(channel(WinColor::Red(from), WinColor::Red(to)),
                         channel(WinColor::Green(from), WinColor::Green(to)),
                         channel(WinColor::Blue(from), WinColor::Blue(to)));
}

// One frame `inset` pixels inside the edge: its top and bottom rows and the columns between.
void frame(std::vector<Fill>& out, int width, int height, int inset, WinColor::Value top,
           WinColor::Value side, WinColor::Value bottom) {
    const int span = width - 2 * inset;
    const int between = height - 2 * inset - 2;
    if (span <= 0 || height - 2 * inset <= 0) {
        return;
    }
    out.push_back({inset, inset, span, 1, top});
    out.push_back({inset, height - 1 - inset, span, 1, bottom});
    if (between > 0) {
        out.push_back({inset, inset + 1, 1, between, side});
        out.push_back({width - 1 - inset, inset + 1, 1, between, side});
    }
}

} // namespace

Look lookFor(State state) {
    if (!state.enabled) {
        return Look::Disabled;
    }
    if (state.pressed) {
        return Look::Pressed;
    }
    if (state.hovered) {
        return Look::Hovered;
    }
    if (state.focused) {
        return Look::Focused;
    }
    return state.isDefault ? Look::Default : Look::Normal;
}

WinColor::Value captionColour(Look look, WinColor::Value fore, WinColor::Value hover) {
    switch (look) {
    case Look::Disabled:
        return DisabledCaption;
    case Look::Hovered:
        return hover;
    default:
        return fore;
    }
}

std::vector<Fill> fills(Look look, int width, int height) {
    std::vector<Fill> out;
    if (width <= 0 || height <= 0) {
        return out;
    }
    const WinColor::Value flat = look == Look::Disabled  ? DisabledFace
                                 : look == Look::Pressed ? PressedFace
                                                         : FaceLow;
    out.push_back({0, 0, width, height, flat});
    if (width < 3 || height < 3) {
        return out;
    }
    if (look != Look::Disabled && look != Look::Pressed) {
        // White at the top blending into the face, then two darker rows at the bottom.
        const int blendRows = height - 4;
        for (int k = 0; k < blendRows; ++k) {
            const double t = blendRows > 1 ? static_cast<double>(k) / (blendRows - 1) : 0.0;
            out.push_back({1, 1 + k, width - 2, 1, mix(FaceTop, FaceLow, t)});
        }
        if (height - 3 >= 1) {
            out.push_back({1, height - 3, width - 2, 1, FaceShade});
        }
        out.push_back({1, height - 2, width - 2, 1, FaceBottom});
    }
    if (look == Look::Hovered) {
        frame(out, width, height, 1, HoverTop, HoverSide, HoverBottom);
        frame(out, width, height, 2, HoverSide, HoverSide, HoverSide);
    } else if (look == Look::Focused) {
        frame(out, width, height, 1, FocusTop, FocusSide, FocusBottom);
        frame(out, width, height, 2, FocusSide, FocusSide, FocusInnerBottom);
    } else if (look == Look::Default) {
        frame(out, width, height, 1, DefaultTop, DefaultSide, DefaultBottom);
        frame(out, width, height, 2, DefaultInner, DefaultInner, DefaultInnerBottom);
    }
    const WinColor::Value outline = look == Look::Disabled ? DisabledFrame : OuterFrame;
    out.push_back({1, 0, width - 2, 1, outline});
    out.push_back({1, height - 1, width - 2, 1, outline});
    out.push_back({0, 1, 1, height - 2, outline});
    out.push_back({width - 1, 1, 1, height - 2, outline});
    const WinColor::Value corner = look == Look::Disabled ? DisabledFrame : OuterCorner;
    for (const Corner c : {Corner{1, 1}, Corner{width - 2, 1}, Corner{1, height - 2},
                           Corner{width - 2, height - 2}}) {
        out.push_back({c.x, c.y, 1, 1, corner});
    }
    return out;
}

std::vector<Corner> cutCorners(int width, int height) {
    if (width < 3 || height < 3) {
        return {};
    }
    return {{0, 0}, {width - 1, 0}, {0, height - 1}, {width - 1, height - 1}};
}

} // namespace VelkXpLook
