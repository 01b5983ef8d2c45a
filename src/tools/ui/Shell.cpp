#include "tools/ui/Shell.h"

#include "controls/MsgBox.h"
#include "controls/WindowText.h"
#include "platform/ProgramSearch.h"
#include "platform/ShellOpen.h"
#include "tools/SystemPrograms.h"

#include <QProcess>
#include <QStringList>
#include <utility>

namespace Shell {

namespace {

Handler& handler() {
    static Handler installed;
    return installed;
}

bool startDetached(const std::string& program, const std::vector<std::string>& arguments) {
    QStringList list;
    for (const std::string& argument : arguments) {
        list.append(toQString(argument));
    }
    return QProcess::startDetached(toQString(program), list);
}

bool startProgram(const std::string& program, const std::vector<std::string>& arguments) {
    if constexpr (platform::kShellOpens) {
        if (arguments.empty()) {
            // The shell starts it as a double click would: it asks for administrator rights
            // when the program needs them, where a plain start would fail.
            return platform::shellOpenFile(program);
        }
    }
    return startDetached(program, arguments);
}

void showError(QWidget* parent, const std::string& text) {
    MsgBox::Show(parent, toQString(text), SystemPrograms::kCannotStartStyle,
                 toQString(SystemPrograms::kCannotStartTitle));
}

/// Hands the request's argument to the opener, or says why it could not be.
bool open(QWidget* parent, const Request& request) {
    bool opened = false;
    if (handler()) {
        opened = handler()(request);
    } else if constexpr (platform::kShellOpens) {
        // The system opens the file or address itself; there is no opener to be missing.
        opened = request.kind == Request::Kind::OpenFile
                     ? platform::shellOpenFile(request.target)
                     : platform::shellOpenAddress(request.target);
    } else {
        const std::optional<std::string> opener =
            platform::findProgram(std::string(SystemPrograms::kOpener), platform::searchPath());
        if (!opener) {
            showError(parent, SystemPrograms::OpenerMissingText(request.target));
            return false;
        }
        opened = startDetached(*opener, request.arguments);
    }
    if (!opened) {
        showError(parent, SystemPrograms::CannotOpenText(request.target));
    }
    return opened;
}

} // namespace

Handler SetHandler(Handler replacement) {
    return std::exchange(handler(), std::move(replacement));
}

bool OpenFile(QWidget* parent, const std::string& path) {
    return open(parent, Request{Request::Kind::OpenFile, path, {SystemPrograms::FileUrl(path)}});
}

bool OpenAddress(QWidget* parent, const std::string& address) {
    return open(parent, Request{Request::Kind::OpenAddress, address, {address}});
}

bool Start(QWidget* parent, const std::string& program, const std::vector<std::string>& arguments,
           const std::string& name) {
    bool started = false;
    if (handler()) {
        started = handler()(Request{Request::Kind::Start, program, arguments});
    } else {
        started = startProgram(program, arguments);
    }
    if (!started) {
        showError(parent, SystemPrograms::CannotStartText(name));
    }
    return started;
}

} // namespace Shell
