#include "controls/ControlProperties.h"

#include <QMetaProperty>
#include <QObject>
#include <QPixmap>
#include <QSignalBlocker>

namespace ControlProperties {

namespace {

// Pictures have no equality of their own: no picture equals no picture, otherwise the same
// pixel data does.
bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.metaType() == QMetaType::fromType<QPixmap>() &&
        b.metaType() == QMetaType::fromType<QPixmap>()) {
        const auto pa = a.value<QPixmap>();
        const auto pb = b.value<QPixmap>();
        return (pa.isNull() && pb.isNull()) || pa.cacheKey() == pb.cacheKey();
    }
    return a == b;
}

} // namespace

QVariantMap write(const QObject& control, const QVariantMap& defaults) {
    QVariantMap values;
    const QMetaObject* meta = control.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QString name = QString::fromLatin1(property.name());
        const QVariant value = property.read(&control);
        const auto fallback = defaults.constFind(name);
        if (fallback == defaults.cend() || !sameValue(value, *fallback)) {
            values.insert(name, value);
        }
    }
    return values;
}

void read(QObject& control, const QVariantMap& values, const QVariantMap& defaults) {
    const QSignalBlocker blocker(&control);
    const QMetaObject* meta = control.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QString name = QString::fromLatin1(property.name());
        if (const auto value = values.constFind(name); value != values.cend()) {
            property.write(&control, *value);
        } else if (const auto fallback = defaults.constFind(name); fallback != defaults.cend()) {
            property.write(&control, *fallback);
        }
    }
}

} // namespace ControlProperties
