#pragma once

#include "controls/WinColor.h"

#include <QColor>
#include <QImage>
#include <QString>

/// Colours read off grabbed controls, compared in a readable form.
inline QString rgbText(WinColor::Value c) {
    return QStringLiteral("RGB(%1, %2, %3)")
        .arg(WinColor::Red(c))
        .arg(WinColor::Green(c))
        .arg(WinColor::Blue(c));
}

inline WinColor::Value pixel(const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return WinColor::Rgb(c.red(), c.green(), c.blue());
}

inline QString pixelText(const QImage& image, int x, int y) {
    return rgbText(pixel(image, x, y));
}

#define COMPARE_RGB(actual, expected) QCOMPARE(rgbText(actual), rgbText(expected))
