#include "platform/NewFile.h"

#include "platform/linux/SystemCall.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

using linux_calls::lastError;
using linux_calls::retryOnEintr;

FileId idOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

bool isSingleName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

} // namespace

NewFile::~NewFile() {
    abandon();
}

std::error_code NewFile::removeStale(const FolderHandle& folder, const std::string& temporary) {
    if (!isSingleName(temporary)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    const int fd = ::openat(folder.fd(), temporary.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return errno == ENOENT ? std::error_code() : lastError();
    }
    std::error_code result;
    struct stat info {};
    struct stat now {};
    if (::fstat(fd, &info) != 0) {
        result = lastError();
    } else if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_nlink != 1) {
        result = std::make_error_code(std::errc::file_exists);
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // A writer holds its file locked until it is done.
        result = errno == EWOULDBLOCK ? std::make_error_code(std::errc::device_or_resource_busy)
                                      : lastError();
    } else if (::fstatat(folder.fd(), temporary.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
               idOf(now) != idOf(info) || ::unlinkat(folder.fd(), temporary.c_str(), 0) != 0) {
        result = errno == ENOENT ? std::error_code() : lastError();
    }
    ::close(fd);
    return result;
}

std::error_code NewFile::create(const FolderHandle& folder, const std::string& temporary) {
    abandon();
    if (!isSingleName(temporary)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::openat(folder.fd(), temporary.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            struct stat info {};
            // The lock tells other writers that this file is being written.
            if (::fstat(fd, &info) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const std::error_code ec = lastError();
                ::close(fd);
                ::unlinkat(folder.fd(), temporary.c_str(), 0);
                return ec;
            }
            m_folder = &folder;
            m_fd = fd;
            m_temporary = temporary;
            m_id = idOf(info);
            return {};
        }
        if (errno != EEXIST) {
            return lastError();
        }
        if (const auto ec = removeStale(folder, temporary)) {
            return ec;
        }
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code NewFile::write(const void* data, std::size_t size) {
    if (m_fd < 0) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t written = retryOnEintr([&] { return ::write(m_fd, bytes, size); });
        if (written < 0) {
            return lastError();
        }
        if (written == 0) {
            return std::make_error_code(std::errc::no_space_on_device);
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

std::error_code NewFile::finish(std::uint32_t mode, const std::optional<FileOwner>& owner) {
    if (m_fd < 0) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (::fsync(m_fd) != 0) {
        return lastError();
    }
    if (owner && ::fchown(m_fd, owner->uid, owner->gid) != 0) {
        return lastError();
    }
    // A change of owner clears the set-id bits, so the mode comes last.
    if (::fchmod(m_fd, mode & 07777) != 0) {
        return lastError();
    }
    return {};
}

std::error_code NewFile::place(const std::string& target) {
    if (m_fd < 0 || m_temporary.empty()) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (!isSingleName(target)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    const int folder = m_folder->fd();
    if (::renameat2(folder, m_temporary.c_str(), folder, target.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL) {
            return lastError();
        }
        // Without a rename that never replaces, a hard link never replaces either.
        if (::linkat(folder, m_temporary.c_str(), folder, target.c_str(), 0) != 0) {
            return lastError();
        }
        ::unlinkat(folder, m_temporary.c_str(), 0);
    }
    m_temporary.clear();
    // Anyone who may write the folder may have swapped the temporary name meanwhile.
    struct stat info {};
    const bool ours =
        ::fstatat(folder, target.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && idOf(info) == m_id;
    ::fsync(folder);
    ::close(m_fd);
    m_fd = -1;
    return ours ? std::error_code() : FileError::Changed;
}

void NewFile::abandon() {
    if (m_fd < 0) {
        return;
    }
    struct stat info {};
    if (!m_temporary.empty() &&
        ::fstatat(m_folder->fd(), m_temporary.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        idOf(info) == m_id) {
        ::unlinkat(m_folder->fd(), m_temporary.c_str(), 0);
    }
    ::close(m_fd);
    m_fd = -1;
    m_temporary.clear();
}

} // namespace platform
