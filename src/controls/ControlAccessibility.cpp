#include "controls/ControlAccessibility.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace ControlAccessibility {

namespace {

constexpr const char* RoleProperty = "kestoAccessibleRole";

QAccessibleInterface* controlInterface(const QString& /*className*/, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    const QVariant role = widget->property(RoleProperty);
    if (!role.isValid()) {
        return nullptr;
    }
    return new QAccessibleWidget(widget, static_cast<QAccessible::Role>(role.toInt()));
}

} // namespace

void setRole(QWidget& widget, QAccessible::Role role) {
    static const bool installed = [] {
        QAccessible::installFactory(controlInterface);
        return true;
    }();
    (void)installed;
    widget.setProperty(RoleProperty, static_cast<int>(role));
}

} // namespace ControlAccessibility
