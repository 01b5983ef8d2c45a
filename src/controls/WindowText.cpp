#include "controls/WindowText.h"

#include <QFile>
#include <QLabel>

QString toQString(std::string_view text) {
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

std::string toBytes(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

QLabel* makeLabel(const QString& text, QWidget* parent, const char* name) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    if (name != nullptr) {
        label->setObjectName(QString::fromLatin1(name));
    }
    return label;
}
