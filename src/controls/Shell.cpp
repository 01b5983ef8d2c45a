#include "controls/Shell.h"

#include "controls/MsgBox.h"
#include "controls/WindowText.h"
#include "tools/SystemPrograms.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace Shell {

namespace {

Handler& handler() {
    static Handler installed;
    return installed;
}

} // namespace

void SetHandler(Handler replacement) {
    handler() = std::move(replacement);
}

void OpenFile(const std::string& path) {
    if (handler()) {
        handler()(Request{Request::Kind::OpenFile, path, {}});
        return;
    }
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path))));
}

void OpenAddress(const std::string& address) {
    if (handler()) {
        handler()(Request{Request::Kind::OpenAddress, address, {}});
        return;
    }
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

bool Start(QWidget* parent, const std::string& program, const std::vector<std::string>& arguments,
           const std::string& name) {
    bool started = false;
    if (handler()) {
        started = handler()(Request{Request::Kind::Start, program, arguments});
    } else {
        QStringList list;
        for (const std::string& argument : arguments) {
            list.append(QFile::decodeName(QByteArray::fromStdString(argument)));
        }
        started =
            QProcess::startDetached(QFile::decodeName(QByteArray::fromStdString(program)), list);
    }
    if (!started) {
        MsgBox::Show(parent, toQString(SystemPrograms::CannotStartText(name)),
                     SystemPrograms::kCannotStartStyle,
                     toQString(SystemPrograms::kCannotStartTitle));
    }
    return started;
}

} // namespace Shell
