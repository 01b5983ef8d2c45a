#pragma once

#include <QString>
#include <functional>

class QWidget;

/// Message boxes by style number: an icon (16 critical, 32 question, 48 exclamation,
/// 64 information) plus a button set (0 OK, 4 Yes/No, 5 Retry/Cancel). An empty title shows the
/// application's title. Tests install a handler that answers instead of a person.
namespace MsgBox {

enum Answer : int { Ok = 1, Cancel = 2, Retry = 4, Yes = 6, No = 7 };

inline constexpr int kInformation = 64;
inline constexpr int kExclamation = 48;
inline constexpr int kQuestion = 32;
inline constexpr int kCritical = 16;
inline constexpr int kYesNo = 4;
inline constexpr int kRetryCancel = 5;

/// Shows the message and returns the button chosen.
int Show(QWidget* parent, const QString& text, int style, const QString& title = {});

/// Replaces the dialog; nullptr restores it. The handler gets the title after the empty-title rule.
/// Returns the handler installed before.
using Handler = std::function<int(const QString& text, int style, const QString& title)>;
Handler SetHandler(Handler handler);

/// Title shown for an empty title.
QString ApplicationTitle();

} // namespace MsgBox
