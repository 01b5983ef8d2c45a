#pragma once

#include <QString>
#include <string>
#include <string_view>

class QLabel;
class QWidget;

/// Text of the core as a QString, and back: bytes in the local encoding, as file names are; on
/// Windows WTF-8, so that every name the system may hold comes back unchanged.
QString toQString(std::string_view text);
std::string toBytes(const QString& text);

/// A plain-text label with an object name, as the windows build them.
QLabel* makeLabel(const QString& text, QWidget* parent, const char* name = nullptr);
