#include "platform/ShellOpen.h"

#include "platform/windows/WideText.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

namespace platform {

namespace {

/// The default action of the shell for `target` (usually "open"). Failures are reported by the
/// caller, so the shell is told to show no dialog of its own; it finishes starting the program
/// before returning, so a caller that exits at once does not cut it short.
bool shellExecute(const std::wstring& target) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpFile = target.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

/// "C:\..." or "\\server\share\...", with either separator. A relative name would be looked up
/// by the shell in the current folder and on the PATH, or read as an address ("name:rest").
bool isAbsolute(std::string_view path) {
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        separator(path[2])) {
        return true;
    }
    return path.size() >= 3 && separator(path[0]) && separator(path[1]) && !separator(path[2]) &&
           path[2] != '?' && path[2] != '.';
}

} // namespace

bool shellOpenFile(const std::string& path) {
    if (!isAbsolute(path) || windows::namesDevice(path)) {
        return false;
    }
    // The shell takes the plain form only: "\" as the separator and no "\\?\" prefix.
    std::wstring wide = windows::widen(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return shellExecute(wide);
}

bool shellOpenAddress(const std::string& address) {
    // Any other scheme could name a program or a file and start it.
    if (!startsWith(address, "http://") && !startsWith(address, "https://")) {
        return false;
    }
    return shellExecute(windows::widen(address));
}

} // namespace platform
