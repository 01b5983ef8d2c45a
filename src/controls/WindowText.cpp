#include "controls/WindowText.h"

#include <QFile>
#include <QLabel>

#ifdef _WIN32
#include "platform/Wtf8.h"
#endif

// Windows names are UTF-16, which the core keeps as WTF-8, so that an unpaired surrogate a name
// may hold survives the way there and back; Qt's own conversion of file names there would use the
// ANSI code page and lose every letter outside it. Elsewhere names are bytes in the local encoding.

QString toQString(std::string_view text) {
#ifdef _WIN32
    const std::u16string units = platform::wtf8ToUtf16(text);
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
#else
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
#endif
}

std::string toBytes(const QString& text) {
#ifdef _WIN32
    return platform::utf16ToWtf8(std::u16string_view(
        reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
#else
    return QFile::encodeName(text).toStdString();
#endif
}

QLabel* makeLabel(const QString& text, QWidget* parent, const char* name) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    if (name != nullptr) {
        label->setObjectName(QString::fromLatin1(name));
    }
    return label;
}
