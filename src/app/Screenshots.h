#pragma once

#include <QString>

/// Writes pictures of the program's windows to `folder`: the splash, the idle main window, a
/// finished scan of a sample folder with detections, and the tool menu. Returns the exit code.
int TakeScreenshots(const QString& folder);
