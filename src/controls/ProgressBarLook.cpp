#include "controls/ProgressBarLook.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace ProgressBarLook {

using ControlGeometry::roundHalfEven;
using WinColor::Rgb;

WinColor::Value lighten(WinColor::Value colour, int n) {
    auto up = [n](int component) { return std::min(std::abs(component + n), 255); };
    return Rgb(up(WinColor::Red(colour)), up(WinColor::Green(colour)), up(WinColor::Blue(colour)));
}

void fillColourTable(ColourTable& table, int theme, WinColor::Value custom1,
                     WinColor::Value custom2) {
    // Per theme: the empty part's bands, the filled part's bands (from, to each) and the border.
    static constexpr std::array<std::array<WinColor::Value, 9>, 9> themes{{
        {Rgb(248, 246, 242), Rgb(233, 227, 211), Rgb(226, 215, 182), Rgb(239, 233, 215),
         Rgb(251, 244, 223), Rgb(239, 213, 133), Rgb(203, 166, 57), Rgb(237, 224, 187),
         Rgb(204, 168, 62)},
        {Rgb(247, 248, 242), Rgb(231, 233, 211), Rgb(222, 226, 182), Rgb(237, 239, 215),
         Rgb(249, 251, 223), Rgb(230, 239, 133), Rgb(190, 203, 57), Rgb(233, 237, 187),
         Rgb(192, 204, 62)},
        {Rgb(242, 248, 243), Rgb(211, 233, 213), Rgb(182, 226, 186), Rgb(215, 239, 217),
         Rgb(223, 251, 225), Rgb(133, 239, 142), Rgb(57, 203, 70), Rgb(187, 237, 191),
         Rgb(62, 204, 74)},
        {Rgb(242, 248, 247), Rgb(211, 233, 231), Rgb(182, 226, 222), Rgb(215, 239, 237),
         Rgb(223, 251, 249), Rgb(133, 239, 230), Rgb(57, 203, 190), Rgb(187, 237, 233),
         Rgb(62, 204, 192)},
        {Rgb(243, 242, 248), Rgb(213, 211, 233), Rgb(186, 182, 226), Rgb(217, 215, 239),
         Rgb(225, 223, 251), Rgb(142, 133, 239), Rgb(70, 57, 203), Rgb(191, 187, 237),
         Rgb(74, 62, 204)},
        {Rgb(248, 242, 247), Rgb(233, 211, 231), Rgb(226, 182, 222), Rgb(239, 215, 237),
         Rgb(251, 223, 249), Rgb(239, 133, 230), Rgb(203, 57, 190), Rgb(237, 187, 233),
         Rgb(204, 62, 192)},
        {Rgb(248, 242, 242), Rgb(233, 211, 211), Rgb(226, 182, 182), Rgb(239, 215, 215),
         Rgb(251, 223, 223), Rgb(239, 133, 133), Rgb(203, 57, 57), Rgb(237, 187, 187),
         Rgb(204, 62, 62)},
        {Rgb(250, 253, 254), Rgb(228, 243, 252), Rgb(199, 230, 249), Rgb(237, 247, 253),
         Rgb(225, 247, 255), Rgb(67, 208, 255), Rgb(63, 112, 233), Rgb(63, 226, 246),
         Rgb(23, 139, 211)},
        {Rgb(231, 243, 232), Rgb(225, 219, 225), Rgb(179, 189, 179), Rgb(226, 238, 226),
         Rgb(223, 251, 223), Rgb(108, 255, 108), Rgb(26, 228, 26), Rgb(217, 244, 217),
         Rgb(188, 184, 188)},
    }};
    std::array<WinColor::Value, 9> row{};
    if (theme >= 1 && theme <= 9) {
        row = themes[static_cast<std::size_t>(theme - 1)];
    } else if (theme == 10) {
        row = {lighten(custom2, 180),
               lighten(custom2, 50),
               custom2,
               lighten(custom2, 80),
               lighten(custom1, 180),
               lighten(custom1, 50),
               custom1,
               lighten(custom1, 80),
               custom1};
    } else {
        return;
    }
    for (std::size_t i = 0; i < row.size(); ++i) {
        table[2 * i] = row[i];
        if (2 * i + 1 < table.size()) {
            table[2 * i + 1] = row[i];
        }
    }
}

WinColor::Value disabledGrey(WinColor::Value colour) {
    const double c = colour;
    const int green = roundHalfEven(static_cast<double>(colour & 0xFFFF) / 256);
    const int blue = roundHalfEven(c / 65536);
    const int v = std::min(roundHalfEven((WinColor::Red(colour) + green + blue) / 3.0), 255);
    return Rgb(v, v, v);
}

double percent(int value, int max) {
    return 100.0 * value / max;
}

int fillLength(int extent, int value, int max) {
    return static_cast<int>(extent * percent(value, max) / 100);
}

Range withValue(Range range, int value) {
    range.value = std::clamp(value, range.min, range.max);
    return range;
}

Range withMax(Range range, int max) {
    max = std::max(max, 1);
    if (max <= range.min) {
        max = range.min + 1;
    }
    range.max = max;
    range.value = std::min(range.value, max);
    return range;
}

Range withMin(Range range, int min) {
    if (min >= range.max) {
        min = range.max - 1;
    }
    range.min = std::max(min, 0);
    range.value = std::max(range.value, range.min);
    return range;
}

std::string barText(int textStyle, int value, int max, const std::string& text) {
    switch (textStyle) {
    case 1:
        return std::to_string(value);
    case 2: {
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, percent(value, max),
                                       std::chars_format::general, 15)
                             .ptr;
        return std::string(digits, end) + "%";
    }
    case 3:
        return text;
    default:
        return {};
    }
}

Point textPosition(int width, int height, int textWidth, int textHeight, int alignment) {
    const int left = 1;
    const int centreX = roundHalfEven((width - textWidth) / 2.0);
    const int right = width - textWidth - 3;
    const int top = 0;
    const int middle = roundHalfEven((height - textHeight) / 2.0);
    const int bottom = height - textHeight - 1;
    switch (alignment) {
    case 1:
        return {left, top};
    case 2:
        return {left, middle};
    case 3:
        return {left, bottom};
    case 4:
        return {centreX, top};
    case 6:
        return {centreX, bottom};
    case 7:
        return {right, top};
    case 8:
        return {right, middle};
    case 9:
        return {right, bottom};
    default:
        // The centre sits one pixel above the middle.
        return {centreX, roundHalfEven(height / 2.0 - textHeight / 2.0 - 1)};
    }
}

std::vector<Point> textEffectOffsets(int effect) {
    switch (effect) {
    case 2:
        return {{-1, -1}, {1, 1}};
    case 3:
        return {{1, 1}, {-1, 0}};
    case 4:
        return {{1, 0}, {-1, 0}, {0, -1}, {0, 1}};
    case 5:
        return {{1, 1}};
    default:
        return {};
    }
}

} // namespace ProgressBarLook
