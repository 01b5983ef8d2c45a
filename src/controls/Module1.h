#pragma once

class QWidget;

/// Window helpers of the desktop program.
namespace Module1 {

/// Makes the whole window translucent at `level` of 255. Returns 1 when the level is outside
/// 0..255 (nothing done), 0 when the window was made translucent, 2 when it cannot be.
int MakeWindowTranslucent(QWidget* window, int level);

} // namespace Module1
