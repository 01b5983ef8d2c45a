#pragma once

#include <string>
#include <system_error>

namespace platform {

/// Home folder of the user running the program ($HOME, else the password database).
std::string homeFolder();

/// Creates a folder and any missing parents; an existing folder is fine.
std::error_code createFolders(const std::string& path);

/// Clears what keeps a file from being changed or removed: gives the owner write permission and,
/// on FAT volumes, clears the read-only, hidden, system and archive attributes.
std::error_code makeNormal(const std::string& path);

/// Removes one file (never a folder).
std::error_code deleteFile(const std::string& path);

/// Moves a file to `target` without ever replacing an existing file there. Across file systems the
/// file is copied, flushed to disk and only then removed from its old place; a failed move leaves
/// the source where it was and no partial target behind.
std::error_code moveFileNoReplace(const std::string& source, const std::string& target);

} // namespace platform
