#pragma once

#include "controls/ControlGeometry.h"
#include "controls/WinColor.h"

#include <vector>

/// Colour and geometry rules of the frame control, kept free of the toolkit so tests call them.
/// All sizes are pixels of whatever grid the caller draws on (device pixels when painting).
namespace XPFrameLook {

using ControlGeometry::Point;

/// An angle in degrees brought into 0..359; negative angles count backwards from 360.
int normalisedAngle(int degrees);

/// first × t + second × (1 − t) in each channel, rounded; t = 1 gives `first` exactly.
WinColor::Value blend(WinColor::Value first, WinColor::Value second, double t);

/// A linear gradient cut into one-pixel lines that stand across its direction.
///
/// The angle turns counter-clockwise from the +x axis with y pointing up: 0 runs from the left
/// edge to the right one, 90 from the bottom to the top. The colour moves from `second` where the
/// gradient starts to `first` where it ends. Lines of multiples of 90 degrees are exact columns
/// or rows; other lines are slanted, one per column (mostly horizontal directions) or per row, so
/// every pixel belongs to exactly one line and no gaps appear.
class Gradient {
public:
    Gradient(int width, int height, WinColor::Value first, WinColor::Value second, int degrees);

    /// No lines for a width or height below 2: there is no direction to spread colours along.
    int lineCount() const { return static_cast<int>(m_colours.size()); }
    /// Colour of line k: line 0 is `second`, the last line `first`.
    WinColor::Value lineColour(int k) const { return m_colours[static_cast<std::size_t>(k)]; }
    /// Line a pixel belongs to; only meaningful inside (0, 0, width, height) with lines.
    int lineAt(int x, int y) const;
    /// Colour of a pixel inside the rectangle (black when there are no lines).
    WinColor::Value colourAt(int x, int y) const;

private:
    bool m_alongX = true; // lines are counted across columns (else across rows)
    bool m_reversed = false;
    double m_slope = 0.0; // column (row) shift per row (column)
    int m_origin = 0;     // lowest shifted coordinate
    int m_extent = 0;     // width (height) of the counted axis
    std::vector<WinColor::Value> m_colours;
};

/// A rounded rectangle covering pixels left..right and top..bottom (inclusive) whose corners are
/// quarter ellipses of the given diameter, as a window region is cut.
struct RoundedRect {
    int left = 0;
    int top = 0;
    int right = -1;
    int bottom = -1;
    int corner = 0;

    /// Whether the pixel's centre lies inside.
    bool contains(int x, int y) const;
    /// The pixels of row y inside: first and last column, or first > last when none.
    struct Span {
        int first = 0;
        int last = -1;
    };
    Span span(int y) const;
};

/// The frame's outline for a client area: `outer` is the window region (pixels outside it are
/// cut away), the border ring is `outer` without `inner`. A negative curvature is none; corners
/// never grow past the shorter side; the ring is `thickness` pixels wide.
struct Ring {
    RoundedRect outer;
    RoundedRect inner;
    bool onRing(int x, int y) const { return outer.contains(x, y) && !inner.contains(x, y); }
};
Ring ring(int width, int height, int curvature, int thickness);

/// Visible height of the header band: nothing for Style other than 0 or a height of 0 or less,
/// and never taller than the frame.
int headerBand(int style, int headerHeight, int frameHeight);

/// Top-left corner of the caption in the header: CaptionAlignment 0 left (after the icon when
/// one is shown), 1 right, 2 centred (negative x when the caption is wider than the frame);
/// `letterWidth` is the width of "A" in the header font, the margin on the aligned side.
Point captionPosition(int width, int band, int textWidth, int textHeight, int letterWidth,
                      int alignment, bool withIcon);

/// Square the header icon is drawn into at the left of a header band: two pixels in from the
/// band's edges; empty (side 0) for a band under 5 pixels.
struct IconBox {
    int x = 0;
    int y = 0;
    int side = 0;
};
IconBox iconBox(int band);

} // namespace XPFrameLook
