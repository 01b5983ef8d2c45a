#include "platform/FileOps.h"

#include "platform/windows/FolderAccess.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

#include <vector>

namespace platform {

using windows::HandleFacts;
using windows::OwnedHandle;

namespace windows {

std::error_code openFileAt(HANDLE folder, const std::string& name, ACCESS_MASK access,
                           OwnedHandle& handle, HandleFacts& facts) {
    windows::RelativeOpen how;
    how.access = access | FILE_READ_ATTRIBUTES;
    how.options = windows::kNonDirectoryFile | windows::kOpenForBackup;
    if (const auto ec = windows::openRelative(folder, name, how, handle)) {
        return ec;
    }
    return windows::factsOfHandle(handle.get(), facts);
}

std::error_code setAttributes(HANDLE handle, DWORD attributes) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    if (!SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) {
        return windows::lastError();
    }
    return {};
}

std::error_code writeAll(HANDLE handle, const char* data, std::size_t count) {
    while (count > 0) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, 1 << 30));
        if (!WriteFile(handle, data, piece, &written, nullptr)) {
            return windows::lastError();
        }
        if (written == 0) {
            return std::make_error_code(std::errc::no_space_on_device);
        }
        data += written;
        count -= written;
    }
    return {};
}

} // namespace windows

namespace {

using windows::writeAll;

using windows::openFileAt;
using windows::setAttributes;

constexpr DWORD kCleared = windows::kNormalCleared;

} // namespace

std::error_code windows::copyThenRemove(HANDLE source, const FolderHandle& to,
                                        const std::string& target) {
    windows::RelativeOpen how;
    how.access = GENERIC_WRITE | DELETE;
    how.share = 0;
    how.disposition = windows::kFileCreate;
    how.options = windows::kNonDirectoryFile;
    OwnedHandle out;
    if (const auto ec = windows::openRelative(to.fd(), target, how, out)) {
        return ec;
    }
    const auto fail = [&out](std::error_code ec) {
        windows::deleteOpenFile(out.get());
        return ec;
    };
    std::vector<char> buffer(1 << 20);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            if (GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            return fail(windows::lastError());
        }
        if (got == 0) {
            break;
        }
        if (const auto ec = writeAll(out.get(), buffer.data(), got)) {
            return fail(ec);
        }
    }
    if (!FlushFileBuffers(out.get())) {
        return fail(windows::lastError());
    }
    if (const auto ec = windows::deleteOpenFile(source)) {
        return fail(ec);
    }
    return {};
}

std::string homeFolder() {
    std::wstring windowsFolder(MAX_PATH, L'\0');
    const UINT length =
        GetSystemWindowsDirectoryW(windowsFolder.data(), static_cast<UINT>(windowsFolder.size()));
    if (length >= 2 && length < windowsFolder.size() && windowsFolder[1] == L':') {
        return windows::narrow(windowsFolder.substr(0, 2));
    }
    return "C:";
}

std::error_code createFolders(const std::string& path) {
    const std::wstring wide = windows::win32Path(path);
    if (wide.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    // The root ("\\?\C:\" or "\\?\UNC\server\share\") exists or nothing can be made.
    std::size_t start = 7;
    if (wide.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        start = wide.find(L'\\', wide.find(L'\\', 8) + 1);
    }
    for (std::size_t end = wide.find(L'\\', start); start != std::wstring::npos;
         end = wide.find(L'\\', end + 1)) {
        const std::wstring part = wide.substr(0, end);
        if (!CreateDirectoryW(part.c_str(), nullptr)) {
            const DWORD error = GetLastError();
            const DWORD attributes = GetFileAttributesW(part.c_str());
            if (error != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES ||
                (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                return {static_cast<int>(error == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : error),
                        std::system_category()};
            }
        }
        if (end == std::wstring::npos) {
            break;
        }
    }
    return {};
}

std::error_code createFolder(const std::string& path, std::uint32_t /*mode*/) {
    // Who may use a new folder is decided by the ACL it inherits.
    return createFolders(path);
}

std::error_code createPrivateFolder(const std::string& path) {
    // A folder made the usual way would inherit its parent's ACL; the root of the system drive
    // lets every signed-in user change what is made below it.
    const std::wstring wide = windows::win32Path(path);
    if (wide.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    const std::size_t separator = wide.find_last_of(L'\\');
    if (separator != std::wstring::npos && separator > 7) {
        if (const auto ec = createFolders(windows::narrow(wide.substr(0, separator)))) {
            return ec;
        }
    }
    if (const auto ec = windows::createProtectedFolder(wide)) {
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (ec.value() != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return ec.value() == ERROR_ALREADY_EXISTS
                       ? std::error_code(ERROR_FILE_EXISTS, std::system_category())
                       : ec;
        }
    }
    return {};
}

std::error_code renameFile(const std::string& from, const std::string& to) {
    const std::wstring source = windows::win32Path(from);
    const std::wstring target = windows::win32Path(to);
    if (source.empty() || target.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    // A reparse point is moved as itself; MoveFileEx never follows the name it moves.
    if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return windows::lastError();
    }
    return {};
}

std::error_code makeNormal(const FolderHandle& folder, const std::string& name) {
    OwnedHandle handle;
    HandleFacts facts;
    if (const auto ec = openFileAt(folder.fd(), name, FILE_WRITE_ATTRIBUTES, handle, facts)) {
        return ec;
    }
    if (!windows::isDiskFile(handle.get(), facts)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    if ((facts.attributes & kCleared) == 0) {
        return {};
    }
    return setAttributes(handle.get(), facts.attributes & ~kCleared);
}

std::error_code deleteFile(const FolderHandle& folder, const std::string& name) {
    // A folder is never removed: the open asks for a file that is no folder. A link is removed
    // itself, never its target.
    OwnedHandle handle;
    HandleFacts facts;
    if (const auto ec =
            openFileAt(folder.fd(), name, DELETE | FILE_WRITE_ATTRIBUTES, handle, facts)) {
        return ec;
    }
    // A read-only file cannot be deleted; its attribute is cleared first, and put back when the
    // delete fails.
    const bool readOnly = (facts.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        if (const auto ec =
                setAttributes(handle.get(), facts.attributes & ~FILE_ATTRIBUTE_READONLY)) {
            return ec;
        }
    }
    if (const auto ec = windows::deleteOpenFile(handle.get())) {
        if (readOnly) {
            setAttributes(handle.get(), facts.attributes);
        }
        return ec;
    }
    return {};
}

std::error_code moveFileNoReplace(const FolderHandle& from, const std::string& name,
                                  const FolderHandle& to, const std::string& target) {
    if (!windows::isSingleName(target)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    // The file is opened once, relative to its folder, and everything acts on that handle: the
    // rename, or the copy and the delete across volumes.
    OwnedHandle handle;
    HandleFacts facts;
    if (const auto ec = openFileAt(from.fd(), name, DELETE | GENERIC_READ, handle, facts)) {
        return ec;
    }
    if (!windows::isDiskFile(handle.get(), facts)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    const std::error_code renamed = windows::renameRelative(handle.get(), to.fd(), target, false);
    if (renamed.value() != ERROR_NOT_SAME_DEVICE || renamed.category() != std::system_category()) {
        return renamed;
    }
    return windows::copyThenRemove(handle.get(), to, target);
}

} // namespace platform
