#pragma once

#include "platform/FolderHandle.h"

#include <cstdint>
#include <string>
#include <system_error>

namespace platform {

/// Makes the folder `name` in `parent` with the permission bits `mode` (less the umask). `name`
/// is one name: an empty one, ".", ".." or one with a separator fails with
/// std::errc::invalid_argument. A name that is taken already, by a folder or anything else,
/// fails with std::errc::file_exists.
std::error_code makeChildFolder(const FolderHandle& parent, const std::string& name,
                                std::uint32_t mode);

} // namespace platform
