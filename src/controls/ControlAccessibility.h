#pragma once

#include <QAccessible>

class QWidget;

/// Screen-reader support for the owner-drawn controls.
namespace ControlAccessibility {

/// Makes `widget` announce itself with `role`; its name is its accessible name, which the
/// control keeps equal to its caption.
void setRole(QWidget& widget, QAccessible::Role role);

} // namespace ControlAccessibility
