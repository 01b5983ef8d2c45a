#pragma once

#include "controls/ControlGeometry.h"
#include "controls/WinColor.h"

#include <array>
#include <string>
#include <vector>

/// Colour, range and geometry rules of the progress bar, kept free of the toolkit so tests call
/// them.
namespace ProgressBarLook {

using ControlGeometry::Point;

/// Colours of one repaint: entries 0 → 2 and 4 → 6 are the top and bottom bands of the empty
/// part, 8 → 10 and 12 → 14 those of the filled part, 16 the border; each odd entry repeats the
/// even one before it.
using ColourTable = std::array<WinColor::Value, 17>;
enum Entry : std::size_t {
    EmptyTopFrom = 0,
    EmptyTopTo = 2,
    EmptyBottomFrom = 4,
    EmptyBottomTo = 6,
    FilledTopFrom = 8,
    FilledTopTo = 10,
    FilledBottomFrom = 12,
    FilledBottomTo = 14,
    Border = 16,
};

/// Lightens a plain colour: n is added to each component, the absolute value taken and the
/// result capped at 255.
WinColor::Value lighten(WinColor::Value colour, int n);

/// Fills the table for themes 1..10; theme 10 derives it from the two custom plain colours
/// (custom1 the filled part and border, custom2 the empty part). Other themes leave the table.
void fillColourTable(ColourTable& table, int theme, WinColor::Value custom1,
                     WinColor::Value custom2);

/// The grey a disabled bar draws instead of a plain colour. The blue and green terms are taken
/// from the whole colour value, so a high red or green byte can raise them by one.
WinColor::Value disabledGrey(WinColor::Value colour);

/// Percentage of the bar that is filled: 100 × value / max, Min left out.
double percent(int value, int max);

/// Filled length along an extent of the given pixels, truncated.
int fillLength(int extent, int value, int max);

/// Min, Max and Value as the setters keep them: 0 ≤ min < max, min ≤ value ≤ max.
struct Range {
    int min = 0;
    int max = 100;
    int value = 50;
    friend bool operator==(const Range&, const Range&) = default;
};
Range withValue(Range range, int value);
Range withMax(Range range, int max);
Range withMin(Range range, int min);

/// The bar's text for TextStyle 1 (Value), 2 (percentage with up to 15 significant digits and
/// "%") and 3 (the Text property); other styles show nothing.
std::string barText(int textStyle, int value, int max, const std::string& text);

/// Top-left corner of the text for TextAlignment 1..9, counted down the columns (left, centre,
/// right; top, middle, bottom); other values centre it.
Point textPosition(int width, int height, int textWidth, int textHeight, int alignment);

/// Offsets at which TextEffect 2..5 prints the text in TextEffectColor first.
std::vector<Point> textEffectOffsets(int effect);

} // namespace ProgressBarLook
