#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

class QWidget;

/// Opens files and addresses with the desktop's associated program and starts programs. Tests
/// install a handler that records the requests instead of carrying them out.
namespace Shell {

struct Request {
    enum class Kind { OpenFile, OpenAddress, Start };
    Kind kind = Kind::Start;
    /// The file's path (its exact bytes), the address, or the program's path.
    std::string target;
    /// The program's arguments, one element each; for the other kinds, the one argument the
    /// opener is handed (the file's "file://" address, or the address). Where the system opens
    /// files itself (Windows), it is handed `target` instead.
    std::vector<std::string> arguments;
};

/// Opens the local file `path` (its exact bytes, as a "file://" address) in its associated
/// program, through the opener started without a shell; on Windows through the shell, with the
/// path itself. When the opener is not installed or the file cannot be opened, shows a message
/// (style 48) naming it and returns false.
bool OpenFile(QWidget* parent, const std::string& path);
/// Opens `address` (a web address) in the browser, as `OpenFile` does.
bool OpenAddress(QWidget* parent, const std::string& address);

/// Starts `program` with `arguments` on its own, without waiting for it and without a shell.
/// When it cannot be started, shows a message (style 48) naming `name` and returns false.
bool Start(QWidget* parent, const std::string& program, const std::vector<std::string>& arguments,
           const std::string& name);

/// Replaces the desktop; the handler answers whether the request succeeded. nullptr restores it.
/// Returns the handler installed before.
using Handler = std::function<bool(const Request& request)>;
Handler SetHandler(Handler handler);

} // namespace Shell
