#include "platform/FileFacts.h"

#include "platform/PathText.h"
#include "platform/windows/FolderAccess.h"
#include "platform/windows/WinFile.h"

namespace platform {

using windows::HandleFacts;
using windows::OwnedHandle;

namespace {

/// The owner a folder of another user's reads as: never the running user (0) nor root.
constexpr std::uint32_t kAnotherUser = 0xFFFFFFFEU;

/// Windows keeps no POSIX owner or mode: the owner reads as 0 (access is the ACL's business) and
/// the mode as 0644, or 0444 for a read-only file.
FileFacts factsFrom(const HandleFacts& facts) {
    FileFacts result;
    result.id = facts.id;
    result.size = facts.stamp.size;
    result.mode = (facts.attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0644;
    return result;
}

/// Opens the disk file `name` of `folder` (never through a link) with `access`.
std::error_code openFileAt(const FolderHandle& folder, const std::string& name, ACCESS_MASK access,
                           OwnedHandle& handle, HandleFacts& facts) {
    windows::RelativeOpen how;
    how.access = access | FILE_READ_ATTRIBUTES;
    how.options = windows::kOpenForBackup;
    if (const auto ec = windows::openRelative(folder.fd(), name, how, handle)) {
        return ec;
    }
    if (const auto ec = windows::factsOfHandle(handle.get(), facts)) {
        return ec;
    }
    return windows::isDiskFile(handle.get(), facts) ? std::error_code()
                                                    : make_error_code(FileError::NotRegularFile);
}

} // namespace

std::error_code factsOf(const FolderHandle& folder, const std::string& name, FileFacts& facts) {
    OwnedHandle handle;
    HandleFacts found;
    if (const auto ec = openFileAt(folder, name, 0, handle, found)) {
        return ec;
    }
    facts = factsFrom(found);
    return {};
}

std::error_code folderFacts(const FolderHandle& folder, FileFacts& facts) {
    HandleFacts found;
    if (const auto ec = windows::factsOfHandle(folder.fd(), found)) {
        return ec;
    }
    windows::FolderAccess access;
    if (const auto ec = windows::folderAccess(folder.fd(), access)) {
        return ec;
    }
    // Its ACL read as the bits that say the same: group and others' write when someone else may
    // change it, and an owner that is not this user when it belongs to someone else.
    facts = FileFacts{};
    facts.id = found.id;
    facts.mode = access.othersMayChange ? 0722 : 0700;
    facts.uid = access.foreignOwner ? kAnotherUser : effectiveUser();
    return {};
}

std::error_code factsOfOpenFile(const InputFile& file, FileFacts& facts) {
    HandleFacts found;
    if (const auto ec = windows::factsOfHandle(file.nativeHandle(), found)) {
        return ec;
    }
    facts = factsFrom(found);
    return {};
}

std::error_code setModeAndOwner(const FolderHandle& folder, const std::string& name,
                                const FileId& expected, std::uint32_t mode,
                                const std::optional<FileOwner>& /*owner*/) {
    OwnedHandle handle;
    HandleFacts found;
    if (const auto ec = openFileAt(folder, name, FILE_WRITE_ATTRIBUTES, handle, found)) {
        return ec == FileError::NotRegularFile ? make_error_code(FileError::Changed) : ec;
    }
    if (found.id != expected) {
        return FileError::Changed;
    }
    // Only the owner's write bit has a Windows meaning: without it the file is read-only.
    DWORD attributes = found.attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if ((mode & 0200) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (attributes == found.attributes) {
        return {};
    }
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    if (!SetFileInformationByHandle(handle.get(), FileBasicInfo, &basic, sizeof basic)) {
        return windows::lastError();
    }
    return {};
}

std::error_code openFolderWithoutLinks(const std::string& path, FolderHandle& folder,
                                       std::string& failedAt) {
    const std::size_t root = pathRootLength(path);
    failedAt = path.substr(0, root);
    if (root == 0) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    if (const auto ec = folder.openPath(failedAt)) {
        return ec;
    }
    std::size_t start = root;
    while (start < path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isPathSeparator(path[end])) {
            ++end;
        }
        const std::string name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") {
            continue;
        }
        if (!failedAt.empty() && !isPathSeparator(failedAt.back())) {
            failedAt += '\\';
        }
        failedAt += name;
        FolderHandle child;
        // A link or junction is refused by the open itself (too many symbolic link levels).
        if (const auto ec = child.openChild(folder, name)) {
            folder.close();
            return ec;
        }
        folder = std::move(child);
    }
    return {};
}

bool runningAsRoot() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    const OwnedHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

std::uint32_t effectiveUser() {
    return 0;
}

} // namespace platform
