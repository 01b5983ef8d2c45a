#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

/// Whether `c` separates names in a path: '/' on Linux; '\' and '/' on Windows, whose calls
/// accept both (the program itself writes `kPathSeparator`).
inline constexpr bool isPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

/// Position of the last separator in `path`, or npos.
inline std::size_t lastPathSeparator(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isPathSeparator(path[i - 1])) {
            return i - 1;
        }
    }
    return std::string_view::npos;
}

/// Length of the root an absolute path starts with, its final separator included; 0 for a
/// relative path. Linux: "/" (1). Windows: "C:\" (3), "\\server\share\" and "\\?\C:\".
std::size_t pathRootLength(std::string_view path);

/// The absolute form of a path that need not exist, relative to the current folder, with "." and
/// ".." removed by the text alone (no link is resolved) and no separator at the end except the
/// root's own.
std::string absolutePath(const std::string& path);

/// What a path names, seen without following a final symbolic link (Windows: reparse point).
enum class PathKind {
    Missing,      ///< nothing there, or the path cannot be looked at (the error says why)
    Folder,       ///< a folder
    RegularFile,  ///< a regular file
    LinkToFolder, ///< a link whose target is a folder
    OtherLink,    ///< a link to anything else, or to nothing
    Other,        ///< a device, FIFO, socket or anything else
};

/// The kind of `path`; `ec` tells why a path is Missing (cleared otherwise, or left as the
/// look-up reported it).
PathKind pathKind(const std::string& path, std::error_code& ec);

/// Whether two paths name the same place as the system compares names: the same bytes on Linux;
/// on Windows the same letters ignoring case.
bool samePath(std::string_view a, std::string_view b);

/// Whether `path` is `folder` or lies below it (whole names: "/a/bc" is not below "/a/b"); the
/// names are compared as `samePath` does. `folder` has no separator at its end except the root's.
bool isWithinFolder(std::string_view path, std::string_view folder);

} // namespace platform
