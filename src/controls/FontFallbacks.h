#pragma once

/// The faces the windows are drawn with are those of the classic Windows desktop: Arial for titles
/// and lists, Tahoma (and the dialog face that names it) for buttons and labels, Fixedsys and
/// Courier New for fixed-pitch text. A system without them (Linux; Wine, which ships none of them)
/// gets faces of the same shape in their place: Liberation Sans and Mono have the metrics of Arial
/// and Courier New, DejaVu Sans and Sans Mono stand in for Tahoma and Fixedsys. Where a face is
/// installed it is used itself; the stand-ins are tried only after it. Call once, after the
/// application object exists.
void AddFontFallbacks();
