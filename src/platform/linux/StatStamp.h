#pragma once

#include "platform/FolderListing.h"
#include "platform/InputFile.h"

#include <sys/stat.h>
#include <vector>

namespace platform {

inline std::int64_t toNs(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

inline FileStamp stampOf(const struct stat& info) {
    FileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    stamp.inode = static_cast<std::uint64_t>(info.st_ino);
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modifiedNs = toNs(info.st_mtim);
    stamp.changedNs = toNs(info.st_ctim);
    return stamp;
}

/// Lists the open folder `fd` (closed by the call) as `FolderHandle::list` describes.
std::error_code listOpenFolder(int fd, bool withSizes, std::vector<FolderEntry>& entries);

} // namespace platform
