#pragma once

#include <QBitmap>
#include <QColor>
#include <QPixmap>

class QPainter;
class QPainterPath;
class QRect;
class QSize;

/// Drawing steps the owner-drawn controls share.
namespace ControlPainting {

/// Fills the rectangle with a two-colour gradient that changes along y (vertical) or x: line k
/// of n gets from + (to − from) × k / n in each channel, so the first line is exactly `from`.
void fillGradient(QPainter& painter, const QRect& rect, const QColor& from, const QColor& to,
                  Qt::Orientation along);

/// One-bit mask of the pixels an outline covers when it is filled and stroked with the
/// one-pixel pen the controls draw their outlines with.
QBitmap outlineMask(const QSize& size, const QPainterPath& outline);

/// A grey copy of a picture, transparency kept.
QPixmap greyed(const QPixmap& picture);

} // namespace ControlPainting
