#pragma once

#include "platform/FolderHandle.h"

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

namespace platform {

/// Identity, length, permission bits and owner of a regular file.
struct FileFacts {
    FileId id;
    std::uint64_t size = 0;
    std::uint32_t mode = 0; ///< permission, set-id and sticky bits (07777)
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
};

struct FileOwner {
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
};

/// The facts of the entry `name` of `folder` itself (a link is not followed); anything but a
/// regular file fails with FileError::NotRegularFile.
std::error_code factsOf(const FolderHandle& folder, const std::string& name, FileFacts& facts);

/// The facts of the open folder itself, as of now (its size is 0).
std::error_code folderFacts(const FolderHandle& folder, FileFacts& facts);

/// The facts of the open file `file`, as of now.
std::error_code factsOfOpenFile(const InputFile& file, FileFacts& facts);

/// Reads the regular file `name` of `folder` through one descriptor, opened without following a
/// link: `facts` are that descriptor's, `content` what it held. A file of more than `limit`
/// bytes fails with std::errc::file_too_large and leaves `content` empty.
std::error_code readFileAt(const FolderHandle& folder, const std::string& name, std::uint64_t limit,
                           std::string& content, FileFacts& facts);

/// Gives the file `name` of `folder` the owner `owner` (when given) and then the mode `mode`, but
/// only while that name holds the file `expected`: the file is opened without following a link
/// and changed through that descriptor, so a file swapped in meanwhile fails with
/// FileError::Changed and stays as it is.
std::error_code setModeAndOwner(const FolderHandle& folder, const std::string& name,
                                const FileId& expected, std::uint32_t mode,
                                const std::optional<FileOwner>& owner);

/// Opens the absolute folder `path` from "/" one name at a time, never following a symbolic link.
/// On failure `failedAt` is the path up to the name that could not be opened; a link there fails
/// with std::errc::too_many_symbolic_link_levels.
std::error_code openFolderWithoutLinks(const std::string& path, FolderHandle& folder,
                                       std::string& failedAt);

/// Whether the program runs with the rights of the superuser.
bool runningAsRoot();

/// The effective user id.
std::uint32_t effectiveUser();

} // namespace platform
