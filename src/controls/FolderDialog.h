#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

/// The folder choice of the scan: only file-system folders can be chosen. Tests install a handler
/// that answers instead of a person.
namespace FolderDialog {

/// The chosen folder, or none when the dialog was cancelled.
std::optional<QString> Choose(QWidget* parent, const QString& title);

/// Replaces the dialog; nullptr restores it. Returns the handler installed before.
using Handler = std::function<std::optional<QString>(const QString& title)>;
Handler SetHandler(Handler handler);

} // namespace FolderDialog
