#include "platform/PathText.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

#include <windows.h>

namespace platform {

namespace {

/// End of the name that starts at `from`: the next separator, or the end.
std::size_t nameEnd(std::string_view path, std::size_t from) {
    while (from < path.size() && !isPathSeparator(path[from])) {
        ++from;
    }
    return from;
}

/// Root length of "server\share\..." starting at `from`; 0 without a share name.
std::size_t shareRootLength(std::string_view path, std::size_t from) {
    const std::size_t server = nameEnd(path, from);
    if (server == from || server == path.size()) {
        return 0;
    }
    const std::size_t share = nameEnd(path, server + 1);
    if (share == server + 1) {
        return 0;
    }
    return share == path.size() ? share : share + 1;
}

bool isDriveRoot(std::string_view path, std::size_t at) {
    const char letter = static_cast<char>(path.size() > at ? path[at] | 0x20 : 0);
    return path.size() >= at + 3 && letter >= 'a' && letter <= 'z' && path[at + 1] == ':' &&
           isPathSeparator(path[at + 2]);
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c;
}

/// Equal ignoring case as the file system does: ASCII directly, anything else through
/// CompareStringOrdinal on the UTF-16 form (simple case mapping, no normalization).
bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (isAscii(a) && isAscii(b)) {
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (asciiLower(a[i]) != asciiLower(b[i])) {
                return false;
            }
        }
        return true;
    }
    const std::wstring wideA = windows::widen(a);
    const std::wstring wideB = windows::widen(b);
    return CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                                static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

bool isDirectory(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

std::size_t pathRootLength(std::string_view path) {
    constexpr std::string_view kLong = "\\\\?\\";
    constexpr std::string_view kLongShare = "\\\\?\\UNC\\";
    if (path.starts_with(kLongShare)) {
        return shareRootLength(path, kLongShare.size());
    }
    if (path.starts_with(kLong)) {
        return isDriveRoot(path, kLong.size()) ? kLong.size() + 3 : 0;
    }
    if (path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
        return shareRootLength(path, 2);
    }
    return isDriveRoot(path, 0) ? 3 : 0;
}

std::string absolutePath(const std::string& path) {
    // The long form's prefix is left out again unless the path came with it: shown paths and
    // records keep the ordinary form.
    std::string absolute = windows::narrow(windows::win32Path(path));
    if (!path.starts_with("\\\\?\\")) {
        if (absolute.starts_with("\\\\?\\UNC\\")) {
            absolute.erase(2, 6);
        } else if (absolute.starts_with("\\\\?\\")) {
            absolute.erase(0, 4);
        }
    }
    const std::size_t root = pathRootLength(absolute);
    while (absolute.size() > root && isPathSeparator(absolute.back())) {
        absolute.pop_back();
    }
    return absolute;
}

PathKind pathKind(const std::string& path, std::error_code& ec) {
    ec.clear();
    if (windows::namesDevice(path)) {
        return PathKind::Other;
    }
    const std::wstring wide = windows::win32Path(path);
    if (wide.empty()) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return PathKind::Missing;
    }
    // Reading attributes needs no share access, so a file held open by another program is seen.
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const windows::OwnedHandle itself(
        CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    windows::HandleFacts facts;
    if (!itself.valid()) {
        ec = windows::lastError();
        return PathKind::Missing;
    }
    if (const auto error = windows::factsOfHandle(itself.get(), facts)) {
        ec = error;
        return PathKind::Missing;
    }
    if (windows::isLink(facts.attributes, facts.reparseTag)) {
        const windows::OwnedHandle target(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                                      nullptr, OPEN_EXISTING,
                                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        windows::HandleFacts targetFacts;
        const bool folder = target.valid() && !windows::factsOfHandle(target.get(), targetFacts) &&
                            isDirectory(targetFacts.attributes);
        return folder ? PathKind::LinkToFolder : PathKind::OtherLink;
    }
    if (isDirectory(facts.attributes)) {
        return PathKind::Folder;
    }
    return GetFileType(itself.get()) == FILE_TYPE_DISK ? PathKind::RegularFile : PathKind::Other;
}

bool samePath(std::string_view a, std::string_view b) {
    return equalIgnoringCase(a, b);
}

bool isWithinFolder(std::string_view path, std::string_view folder) {
    if (folder.empty()) {
        return false;
    }
    if (isAscii(folder)) {
        // The prefix has as many bytes as the folder: one byte per ASCII letter either way.
        if (path.size() < folder.size() ||
            !equalIgnoringCase(path.substr(0, folder.size()), folder)) {
            return false;
        }
        return isPathSeparator(folder.back()) || path.size() == folder.size() ||
               isPathSeparator(path[folder.size()]);
    }
    const std::wstring widePath = windows::widen(path);
    const std::wstring wideFolder = windows::widen(folder);
    if (widePath.size() < wideFolder.size() ||
        CompareStringOrdinal(widePath.data(), static_cast<int>(wideFolder.size()),
                             wideFolder.data(), static_cast<int>(wideFolder.size()),
                             TRUE) != CSTR_EQUAL) {
        return false;
    }
    const wchar_t next = widePath.size() > wideFolder.size() ? widePath[wideFolder.size()] : 0;
    return wideFolder.back() == L'\\' || wideFolder.back() == L'/' ||
           widePath.size() == wideFolder.size() || next == L'\\' || next == L'/';
}

} // namespace platform
