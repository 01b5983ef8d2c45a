#pragma once

#include <QVariantMap>

class QObject;

/// Design data of the owner-drawn controls: the control's own properties (not those of its
/// base classes), keyed by property name, so the keys always follow the declarations.
namespace ControlProperties {

/// Every own property whose value differs from its entry in `defaults`; a property without an
/// entry there is always written.
QVariantMap write(const QObject& control, const QVariantMap& defaults);

/// Sets every own property, in declaration order, from `values`, else from `defaults`; a
/// property found in neither keeps its value. Loading is not a change, so no signal is emitted.
void read(QObject& control, const QVariantMap& values, const QVariantMap& defaults);

} // namespace ControlProperties
