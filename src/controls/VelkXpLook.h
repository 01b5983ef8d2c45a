#pragma once

#include "controls/WinColor.h"

#include <vector>

/// Colour and geometry rules of the XP-style button, kept free of the toolkit so tests call them.
namespace VelkXpLook {

/// What a repaint draws, chosen from the button's state.
enum class Look { Normal, Hovered, Focused, Pressed, Disabled, Default };

struct State {
    bool enabled = true;
    bool pressed = false;
    bool hovered = false;
    bool focused = false;
    /// The button Enter clicks in its window.
    bool isDefault = false;
};

/// Disabled wins over everything, then pressed, then the hover frame, then the focus frame,
/// then the default-button outline.
Look lookFor(State state);

/// Caption colour: grey when disabled, `hover` while hovered, else `fore`.
WinColor::Value captionColour(Look look, WinColor::Value fore, WinColor::Value hover);

constexpr WinColor::Value OuterFrame = WinColor::Rgb(0, 60, 116);
constexpr WinColor::Value OuterCorner = WinColor::Rgb(122, 149, 168);
constexpr WinColor::Value DisabledFace = WinColor::Rgb(245, 244, 234);
constexpr WinColor::Value DisabledFrame = WinColor::Rgb(201, 199, 186);
constexpr WinColor::Value DisabledCaption = WinColor::Rgb(161, 161, 146);
constexpr WinColor::Value PressedFace = WinColor::Rgb(209, 204, 192);
constexpr WinColor::Value FaceTop = WinColor::Rgb(255, 255, 255);
constexpr WinColor::Value FaceLow = WinColor::Rgb(236, 235, 230);
constexpr WinColor::Value FaceShade = WinColor::Rgb(226, 223, 214);
constexpr WinColor::Value FaceBottom = WinColor::Rgb(214, 208, 197);
constexpr WinColor::Value HoverTop = WinColor::Rgb(255, 240, 207);
constexpr WinColor::Value HoverSide = WinColor::Rgb(253, 216, 137);
constexpr WinColor::Value HoverBottom = WinColor::Rgb(229, 151, 0);
constexpr WinColor::Value FocusTop = WinColor::Rgb(206, 231, 251);
constexpr WinColor::Value FocusSide = WinColor::Rgb(188, 212, 246);
constexpr WinColor::Value FocusBottom = WinColor::Rgb(77, 125, 193);
constexpr WinColor::Value FocusInnerBottom = WinColor::Rgb(97, 125, 229);
constexpr WinColor::Value DefaultTop = WinColor::Rgb(213, 223, 232);
constexpr WinColor::Value DefaultSide = WinColor::Rgb(192, 207, 221);
constexpr WinColor::Value DefaultBottom = WinColor::Rgb(122, 149, 168);
constexpr WinColor::Value DefaultInner = WinColor::Rgb(191, 206, 220);
constexpr WinColor::Value DefaultInnerBottom = WinColor::Rgb(37, 87, 131);

/// A filled rectangle in pixels.
struct Fill {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    WinColor::Value colour = 0;
    friend bool operator==(const Fill&, const Fill&) = default;
};

/// Everything a look paints over a width × height button, in painting order: the face (a blend
/// of one-pixel rows, or flat), the hover, focus or default frame two pixels deep inside the
/// outline, then the one-pixel outline without its corner pixels and the four pixels that round
/// its corners.
/// Buttons under 3 pixels on a side get only a flat face.
std::vector<Fill> fills(Look look, int width, int height);

/// The four corner pixels the button's window region leaves out.
struct Corner {
    int x = 0;
    int y = 0;
};
std::vector<Corner> cutCorners(int width, int height);

} // namespace VelkXpLook
