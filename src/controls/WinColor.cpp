#include "controls/WinColor.h"

#include <QColor>
#include <QPalette>

namespace WinColor {

QColor ToQColor(Value c, const QPalette& palette) {
    if (!IsSystem(c)) {
        return QColor(Red(c), Green(c), Blue(c));
    }
    switch (static_cast<int>(c & 0xFF)) {
    case Desktop:
        return palette.color(QPalette::Window).darker(160);
    case ButtonFace:
        return palette.color(QPalette::Button);
    case ButtonShadow:
        return palette.color(QPalette::Mid);
    case ButtonHighlight:
        return palette.color(QPalette::Light);
    case DarkShadow:
        return palette.color(QPalette::Shadow);
    case 5: // window background
        return palette.color(QPalette::Base);
    case 8:  // window text
    case 18: // button text
        return palette.color(QPalette::ButtonText);
    default:
        return palette.color(QPalette::Window);
    }
}

Value FromQColor(const QColor& c) {
    return Rgb(c.red(), c.green(), c.blue());
}

Value Resolve(Value c, const QPalette& palette) {
    return IsSystem(c) ? FromQColor(ToQColor(c, palette)) : c;
}

} // namespace WinColor
