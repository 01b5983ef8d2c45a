#pragma once

#include "controls/Button.h"

#include <QLabel>
#include <QString>
#include <QTest>
#include <QWidget>

/// The text of the label named `name` in `window`, or a marker that names the missing label.
inline QString labelText(const QWidget& window, const char* name) {
    const auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
    return label != nullptr ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

/// The owner-drawn button named `name` in `window`, or nullptr.
inline Button* button(const QWidget& window, const char* name) {
    return window.findChild<Button*>(QString::fromLatin1(name));
}

/// Clicks the owner-drawn button named `name` the way a user does.
inline void click(const QWidget& window, const char* name) {
    Button* target = button(window, name);
    QVERIFY(target != nullptr);
    QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
}
