#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace platform {

/// One file of a folder as a file browser lists it: a regular file or a symbolic link. A link is
/// never followed: its size and time are its own, whatever it leads to.
struct BrowseEntry {
    std::string name;
    std::uint64_t size = 0;
    std::time_t modified = 0;
    bool hasTime = false; ///< false when the file vanished before its facts were read
    bool hidden = false;  ///< name starts with "." or the FAT hidden attribute is set
    bool system = false;  ///< the FAT system attribute is set
    bool link = false;    ///< a symbolic link
};

/// The regular files and symbolic links of `folder` in byte order of their names, without
/// subfolders and other kinds. A file that vanishes while it is read is listed with size 0 and
/// no time. The folder is opened once and every file is reached relative to it. FAT attributes
/// are asked for only on FAT volumes, with the file opened without following links and without
/// blocking. A failure to read the folder's entries is returned, never taken for their end.
std::error_code listBrowseFiles(const std::string& folder, std::vector<BrowseEntry>& files);

/// The subfolders of `folder` (links to folders left out), in byte order.
std::error_code listSubfolders(const std::string& folder, std::vector<std::string>& names);

/// Opens `folder` to see whether it can be entered; the error says why not.
std::error_code probeFolder(const std::string& folder);

} // namespace platform
