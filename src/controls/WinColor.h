#pragma once

#include <cstdint>

class QColor;
class QPalette;

/// Colours as the controls store and persist them: 32-bit values with red in the low byte, green
/// in the next and blue above; 0x80000000 + n names system colour n, resolved only when drawing.
namespace WinColor {

using Value = std::uint32_t;

constexpr Value Rgb(int red, int green, int blue) {
    return static_cast<Value>(red & 0xFF) | static_cast<Value>(green & 0xFF) << 8 |
           static_cast<Value>(blue & 0xFF) << 16;
}
constexpr int Red(Value c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int Green(Value c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int Blue(Value c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

/// System colour indexes the controls use.
enum SystemIndex : int {
    Desktop = 1,
    ButtonFace = 15,
    ButtonShadow = 16,
    ButtonHighlight = 20,
    DarkShadow = 21,
};
constexpr Value System(int index) {
    return 0x80000000u + static_cast<Value>(index);
}
constexpr bool IsSystem(Value c) {
    return (c & 0x80000000u) != 0;
}

/// A plain colour for drawing: system colours come from the palette, plain ones as they are.
QColor ToQColor(Value c, const QPalette& palette);

/// The colour value of a toolkit colour (always plain).
Value FromQColor(const QColor& c);

/// A system colour turned into its plain value with the palette; plain colours as they are.
Value Resolve(Value c, const QPalette& palette);

} // namespace WinColor
