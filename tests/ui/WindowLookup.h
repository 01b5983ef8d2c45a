#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

/// The text of the label named `name` in `window`, or a marker that names the missing label.
inline QString labelText(const QWidget& window, const char* name) {
    const auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
    return label != nullptr ? label->text() : QStringLiteral("<missing %1>").arg(name);
}
