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
    /// Linux: the name starts with "." or the FAT hidden attribute is set; Windows: the hidden
    /// attribute is set.
    bool hidden = false;
    bool system = false; ///< the system attribute is set (on Linux read on FAT volumes only)
    bool link = false;   ///< a symbolic link
};

/// The regular files and symbolic links of `folder` in byte order of their names, without
/// subfolders and other kinds. A file that vanishes while it is read is listed with size 0 and
/// no time. The folder is opened once and every file is reached relative to it. FAT attributes
/// are asked for only on FAT volumes, with the file opened without following links and without
/// blocking. A failure to read the folder's entries is returned, never taken for their end. On
/// Windows every fact comes from the folder's listing itself.
std::error_code listBrowseFiles(const std::string& folder, std::vector<BrowseEntry>& files);

/// The subfolders of `folder` (links to folders left out), in byte order.
std::error_code listSubfolders(const std::string& folder, std::vector<std::string>& names);

/// Opens `folder` to see whether it can be entered; the error says why not. On Windows none of
/// these calls lets the system ask the user to insert a disk: an empty drive fails at once.
std::error_code probeFolder(const std::string& folder);

/// Whether `error`, a value of the system's error category from one of the calls above, means
/// that the folder's device is unavailable: no medium in the drive, a device gone, a share that
/// does not answer.
bool isDeviceUnavailable(int error);

} // namespace platform
