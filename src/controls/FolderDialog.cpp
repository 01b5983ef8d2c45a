#include "controls/FolderDialog.h"

#include <QFileDialog>
#include <utility>

namespace FolderDialog {

namespace {

Handler& handler() {
    static Handler installed;
    return installed;
}

} // namespace

Handler SetHandler(Handler replacement) {
    return std::exchange(handler(), std::move(replacement));
}

std::optional<QString> Choose(QWidget* parent, const QString& title) {
    if (handler()) {
        return handler()(title);
    }
    const QString folder =
        QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

} // namespace FolderDialog
