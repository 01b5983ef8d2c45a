#include "platform/FolderHandle.h"

#include "platform/linux/StatStamp.h"
#include "platform/linux/SystemCall.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

using linux_calls::lastError;

int openRetrying(int at, const char* name, int flags) {
    return linux_calls::retryOnEintr([&] { return ::openat(at, name, flags); });
}

} // namespace

FolderHandle::~FolderHandle() {
    close();
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_id(other.m_id), m_changeTime(other.m_changeTime) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_id = other.m_id;
        m_changeTime = other.m_changeTime;
    }
    return *this;
}

void FolderHandle::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

std::error_code FolderHandle::adopt(int fd) {
    close();
    if (fd < 0) {
        return lastError();
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const std::error_code ec = lastError();
        ::close(fd);
        return ec;
    }
    m_fd = fd;
    m_id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    m_changeTime = std::int64_t{info.st_ctim.tv_sec} * 1'000'000'000 + info.st_ctim.tv_nsec;
    return {};
}

bool FolderHandle::changeTimeIsTrusted() const {
    const std::optional<VolumeFacts> facts = volume();
    return facts && facts->changeTimesTrusted;
}

std::optional<VolumeFacts> FolderHandle::volume() const {
    return volumeOf(m_fd);
}

std::optional<VolumeFacts> volumeOf(int handle) {
    struct statfs volume {};
    if (handle < 0 || ::fstatfs(handle, &volume) != 0) {
        return std::nullopt;
    }
    VolumeFacts facts;
    std::uint64_t id = 0;
    std::memcpy(&id, &volume.f_fsid, std::min(sizeof id, sizeof volume.f_fsid));
    facts.id = id;
    // Local disk file systems that keep a true change time, set from this kernel's clock. Network
    // shares take the server's clock, overlays and user-space file systems may pass on any time,
    // and FAT and exFAT give a folder's creation time once it is read from the disk again.
    switch (static_cast<unsigned long>(volume.f_type)) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        facts.changeTimesTrusted = true;
        break;
    default:
        break;
    }
    return facts;
}

std::error_code FolderHandle::openPath(const std::string& path) {
    // A final separator would make the kernel follow a final link despite O_NOFOLLOW.
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    return adopt(openRetrying(AT_FDCWD, trimmed.c_str(), kFolderFlags));
}

std::error_code FolderHandle::openChild(const FolderHandle& parent, const std::string& name) {
    // One component only: a name with a separator, "." or ".." would leave the folder.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        close();
        return std::make_error_code(std::errc::invalid_argument);
    }
    return adopt(openRetrying(parent.m_fd, name.c_str(), kFolderFlags));
}

std::error_code FolderHandle::openParentOf(const FolderHandle& child) {
    return adopt(openRetrying(child.m_fd, "..", kFolderFlags));
}

std::error_code FolderHandle::list(bool withSizes, std::vector<FolderEntry>& entries) const {
    // A descriptor of its own, so that listing never moves a position another user of this
    // folder relies on.
    const int fd = openRetrying(m_fd, ".", kFolderFlags);
    if (fd < 0) {
        entries.clear();
        return lastError();
    }
    return listOpenFolder(fd, withSizes, entries);
}

std::error_code FolderHandle::statFile(const std::string& name, FileStamp& stamp) const {
    struct stat info {};
    if (::fstatat(m_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return lastError();
    }
    if (!S_ISREG(info.st_mode)) {
        return FileError::NotRegularFile;
    }
    stamp = stampOf(info);
    return {};
}

} // namespace platform
