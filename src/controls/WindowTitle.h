#pragma once

class QFont;
class QString;

/// How wide a window must be for the window manager to show its whole title.
namespace WindowTitle {

/// The width at which a title bar shows `title` in `font` in full: the text set in bold, as
/// window managers commonly draw titles, plus room for the window icon and three buttons (each
/// about as wide as the bar is tall, twice the line height) and a line height of margin.
int minimumWidth(const QString& title, const QFont& font);

/// The same in the platform's title font.
int minimumWidth(const QString& title);

} // namespace WindowTitle
