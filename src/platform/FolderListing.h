#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace platform {

/// One entry of a folder, as seen without following symbolic links. A listing holds every entry
/// (hidden ones included, "." and ".." left out) sorted by the bytes of the names; symbolic links,
/// FIFOs, sockets and devices are Kind::Other.
struct FolderEntry {
    enum class Kind { RegularFile, Folder, Other };
    std::string name;
    Kind kind = Kind::Other;
    std::uint64_t size = 0; ///< length of a regular file; filled only when a listing asks for sizes
    /// The entry's number within its volume as the listing gives it (two listings that give the
    /// same name the same number name the same file); 0 when the file system gives none.
    std::uint64_t id = 0;
};

/// The absolute path of an existing folder with symbolic links resolved.
std::error_code canonicalFolder(const std::string& path, std::string& canonical);

} // namespace platform
