#include "controls/MsgBox.h"

#include <QMessageBox>
#include <utility>

namespace MsgBox {

namespace {

Handler& handler() {
    static Handler installed;
    return installed;
}

QMessageBox::Icon iconFor(int style) {
    switch (style & 0x70) {
    case kCritical:
        return QMessageBox::Critical;
    case kQuestion:
        return QMessageBox::Question;
    case kExclamation:
        return QMessageBox::Warning;
    case kInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

QString ApplicationTitle() {
    return QStringLiteral("Kesto Virus Scanner");
}

Handler SetHandler(Handler replacement) {
    return std::exchange(handler(), std::move(replacement));
}

int Show(QWidget* parent, const QString& text, int style, const QString& title) {
    const QString shownTitle = title.isEmpty() ? ApplicationTitle() : title;
    if (handler()) {
        return handler()(text, style, shownTitle);
    }
    QMessageBox box(iconFor(style), shownTitle, text, QMessageBox::NoButton, parent);
    switch (style & 0x0F) {
    case kYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case kRetryCancel:
        box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Yes;
    case QMessageBox::No:
        return No;
    case QMessageBox::Retry:
        return Retry;
    case QMessageBox::Cancel:
        return Cancel;
    default:
        return Ok;
    }
}

} // namespace MsgBox
