#pragma once

#include "platform/FolderHandle.h"

#include <cstdint>
#include <string>
#include <system_error>

namespace platform {

/// Home folder of the user running the program ($HOME, else the password database; for root
/// always the password database, so that a HOME inherited through sudo never moves root's files
/// into a user's folder). On Windows
/// the root of the system drive without its separator ("C:"), where the quarantine folder lives.
std::string homeFolder();

/// Creates a folder and any missing parents; an existing folder is fine.
std::error_code createFolders(const std::string& path);

/// As `createFolders`, but a folder it makes at `path` itself gets the permission bits `mode`
/// (less the umask; Windows: the ACL it inherits). An existing folder is kept as it is.
std::error_code createFolder(const std::string& path, std::uint32_t mode);

/// As `createFolders`, but a folder it makes at `path` itself is open to this user only (0700).
std::error_code createPrivateFolder(const std::string& path);

/// Gives the file `from` the name `to`, replacing a file of that name. A link at either name is
/// renamed or replaced as itself, never followed.
std::error_code renameFile(const std::string& from, const std::string& to);

/// Clears what keeps the file `name` of `folder` from being changed or removed: gives the owner
/// write permission and, on FAT volumes, clears the read-only, hidden, system and archive
/// attributes. A link is never followed.
std::error_code makeNormal(const FolderHandle& folder, const std::string& name);

/// Removes the file `name` of `folder` (never a folder).
std::error_code deleteFile(const FolderHandle& folder, const std::string& name);

/// Moves the file `name` of `from` into `to` as `target`, without ever replacing an existing file
/// there. Across file systems the file is copied, flushed to disk and only then removed from its
/// old place (and only while that name still holds the file copied); a failed move leaves the
/// source where it was and no partial target behind.
std::error_code moveFileNoReplace(const FolderHandle& from, const std::string& name,
                                  const FolderHandle& to, const std::string& target);

} // namespace platform
