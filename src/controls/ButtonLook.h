#pragma once

#include "controls/ControlGeometry.h"
#include "controls/WinColor.h"

#include <array>
#include <vector>

/// Colour and geometry rules of the themed button, kept free of the toolkit so tests call them.
namespace ButtonLook {

using ControlGeometry::Point;

/// Twips per pixel at 96 dots per inch.
constexpr int TwipsPerPixel = 15;
constexpr int pixelsFromTwips(int twips) {
    return twips / TwipsPerPixel;
}

/// No side of a button is drawn shorter than 375 twips.
constexpr int MinimumSide = pixelsFromTwips(375);
/// A newly placed button is 1200 by 500 twips.
constexpr int PlacedWidth = pixelsFromTwips(1200);
constexpr int PlacedHeight = pixelsFromTwips(500);

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

/// The size a button takes before it paints: short sides are raised to the minimum and the round
/// and polygon shapes (2..11) are made square, height = width.
Size paintedSize(Size size, int shape);

/// The six colours the style and theme presets set.
struct Colours {
    WinColor::Value back = WinColor::System(WinColor::ButtonFace);
    WinColor::Value backPressed = WinColor::System(WinColor::ButtonFace);
    WinColor::Value backHover = WinColor::System(WinColor::ButtonFace);
    WinColor::Value border = WinColor::Rgb(0, 0, 0);
    WinColor::Value borderPressed = WinColor::Rgb(0, 0, 0);
    WinColor::Value borderHover = WinColor::Rgb(0, 0, 0);
    friend bool operator==(const Colours&, const Colours&) = default;
};

/// Background presets of the ButtonStyle setter. Styles 4 and 6 also turn a non-zero
/// ButtonStyleColors into 1 and 3; style 0 and styles above 8 change nothing.
void applyStylePreset(int style, Colours& colours, int& styleColors);

/// Presets of the ButtonTheme setter: three backgrounds and one colour for all three outlines.
/// Theme 0 and unknown themes change nothing.
void applyThemePreset(int theme, Colours& colours);

/// Outline colours some styles impose at every repaint: style 7 its own three (and a grey
/// outline when a filled button is disabled), style 8 its backgrounds, styles 1 and 2 the
/// system dark shadow and highlight.
void forceOutlines(int style, int styleColors, bool enabled, Colours& colours);

struct State {
    bool pressed = false;
    bool hovered = false;
    bool enabled = true;
};

/// The colour for the state: pressed wins over hovered, otherwise the idle colour.
WinColor::Value stateColour(State state, WinColor::Value idle, WinColor::Value pressed,
                            WinColor::Value hovered);

/// The two gradient colours of the background: c0 the base, c1 the light one.
struct Gradient {
    WinColor::Value c0 = 0;
    WinColor::Value c1 = 0;
    friend bool operator==(const Gradient&, const Gradient&) = default;
};
Gradient gradientColours(int style, int styleColors, const Colours& colours, State state);

/// Style 7 fills its extent twice: c1 to c0 over the first band, then c0 to c1 over the second,
/// which starts halfway and overwrites the lower part of the first.
struct Band {
    int start = 0;
    int end = 0;
    friend bool operator==(const Band&, const Band&) = default;
};
std::array<Band, 2> glassBands(int extent);

/// Shapes 4, 7, 8 and 11 point sideways and run the style-7 gradient horizontally.
bool horizontalGradient(int shape);

/// Inner rectangle of the style-7 outline: idle, pressed and focused.
constexpr WinColor::Value GlassInner = WinColor::Rgb(255, 255, 255);
constexpr WinColor::Value GlassInnerPressed = WinColor::Rgb(115, 176, 207);
constexpr WinColor::Value GlassInnerFocus = WinColor::Rgb(4, 204, 254);

/// Style 6 frames: when the pointer is over the button and when it has the focus.
constexpr std::array<WinColor::Value, 5> HoverFrames{
    WinColor::Rgb(220, 154, 16), WinColor::Rgb(240, 178, 49), WinColor::Rgb(247, 214, 144),
    WinColor::Rgb(255, 243, 206), WinColor::Rgb(255, 219, 140)};
constexpr std::array<WinColor::Value, 5> FocusFrames{
    WinColor::Rgb(89, 141, 217), WinColor::Rgb(129, 169, 226), WinColor::Rgb(181, 209, 240),
    WinColor::Rgb(189, 215, 247), WinColor::Rgb(206, 231, 255)};

/// Top-left corner of the caption for CaptionAlignment 0 (top), 1 (left), 2 (centre), 3 (right)
/// and 4 (bottom); other values centre it. A caption wider than the button gets a negative x.
Point captionPosition(int width, int height, int textWidth, int textHeight, int alignment);

/// Top-left corner of the picture for PictureAlignment 0..4, placed like the caption with a
/// five-pixel margin on the aligned side.
Point picturePosition(int width, int height, int pictureWidth, int pictureHeight, int alignment);

/// Offsets at which CaptionEffect draws the caption in EffectColor before the caption itself:
/// 1 raised, 2 shadow (deeper while pressed), 3 outline.
std::vector<Point> captionEffectOffsets(int effect, bool pressed);

/// A disabled caption is embossed (highlight below right, then shadow) except in styles 4, 6, 7, 8.
bool embossedDisabledCaption(int style);

/// Styles 4, 6 and 7 mark the focus their own way instead of with dots.
bool drawsFocusDots(int style);

/// Corners of the outline of shapes 3..11 inside a square of the given side (inclusive pixel
/// coordinates); empty for the other shapes.
std::vector<Point> shapePolygon(int shape, int side);

/// Corner diameter of the rounded-rectangle shape 1.
constexpr int RoundCorner = 10;

} // namespace ButtonLook
