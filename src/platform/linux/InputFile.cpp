#include "platform/InputFile.h"

#include "platform/linux/StatStamp.h"
#include "platform/linux/SystemCall.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

using linux_calls::lastError;
using linux_calls::retryOnEintr;

} // namespace

InputFile::~InputFile() {
    close();
}

InputFile::InputFile(InputFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_size(other.m_size), m_stamp(other.m_stamp) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_size = other.m_size;
        m_stamp = other.m_stamp;
    }
    return *this;
}

std::error_code InputFile::open(const std::string& path, Follow follow) {
    close();
    // Look before opening: opening a FIFO or a device can block or have side effects.
    struct stat before {};
    const int statResult =
        follow == Follow::Symlinks ? ::stat(path.c_str(), &before) : ::lstat(path.c_str(), &before);
    if (statResult != 0) {
        return lastError();
    }
    if (S_ISDIR(before.st_mode)) {
        return {EISDIR, std::generic_category()};
    }
    if (!S_ISREG(before.st_mode)) {
        return FileError::NotRegularFile;
    }
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (follow != Follow::Symlinks) {
        flags |= O_NOFOLLOW;
    }
    const int fd = retryOnEintr([&] { return ::open(path.c_str(), flags); });
    if (fd < 0) {
        return lastError();
    }
    // The path may have been replaced between the look and the open.
    struct stat after {};
    if (::fstat(fd, &after) != 0 || !S_ISREG(after.st_mode)) {
        const std::error_code ec = S_ISREG(after.st_mode) ? lastError() : FileError::NotRegularFile;
        ::close(fd);
        return ec;
    }
    m_fd = fd;
    m_size = static_cast<std::uint64_t>(after.st_size);
    m_stamp = stampOf(after);
    detail::noteInputOpened(path);
    return {};
}

std::error_code InputFile::openAt(int folderFd, const std::string& name) {
    close();
    const int fd = retryOnEintr([&] {
        return ::openat(folderFd, name.c_str(),
                        O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    });
    if (fd < 0) {
        // A link met by O_NOFOLLOW is not a regular file.
        return errno == ELOOP ? std::error_code(FileError::NotRegularFile) : lastError();
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const std::error_code ec = S_ISREG(info.st_mode) ? lastError() : FileError::NotRegularFile;
        ::close(fd);
        return ec;
    }
    m_fd = fd;
    m_size = static_cast<std::uint64_t>(info.st_size);
    m_stamp = stampOf(info);
    detail::noteInputOpened(name);
    return {};
}

std::error_code InputFile::adopt(int file) {
    close();
    struct stat info {};
    if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        const std::error_code ec = S_ISREG(info.st_mode) ? lastError() : FileError::NotRegularFile;
        ::close(file);
        return ec;
    }
    m_fd = file;
    m_size = static_cast<std::uint64_t>(info.st_size);
    m_stamp = stampOf(info);
    return {};
}

std::size_t InputFile::read(char* buffer, std::size_t count, std::error_code& ec) {
    ec.clear();
    const ssize_t got = retryOnEintr([&] { return ::read(m_fd, buffer, count); });
    if (got < 0) {
        ec = lastError();
        return 0;
    }
    return static_cast<std::size_t>(got);
}

std::size_t InputFile::readAt(std::uint64_t offset, char* buffer, std::size_t count,
                              std::error_code& ec) const {
    ec.clear();
    const ssize_t got =
        retryOnEintr([&] { return ::pread(m_fd, buffer, count, static_cast<off_t>(offset)); });
    if (got < 0) {
        ec = lastError();
        return 0;
    }
    return static_cast<std::size_t>(got);
}

std::size_t InputFile::readCached(char* buffer, std::size_t count, std::error_code& ec) {
    ec.clear();
    iovec part{buffer, count};
    // Offset -1 reads at the file position and moves it, as read() does.
    const ssize_t got = retryOnEintr([&] { return ::preadv2(m_fd, &part, 1, -1, RWF_NOWAIT); });
    if (got >= 0) {
        return static_cast<std::size_t>(got);
    }
    if (errno == EAGAIN) {
        return 0;
    }
    if (errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS) {
        return read(buffer, count, ec);
    }
    ec = lastError();
    return 0;
}

bool InputFile::startCached() const {
    char first = 0;
    iovec part{&first, 1};
    const ssize_t got = retryOnEintr([&] { return ::preadv2(m_fd, &part, 1, 0, RWF_NOWAIT); });
    return got >= 0 || errno != EAGAIN;
}

void InputFile::prefetch() const {
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_WILLNEED);
}

void InputFile::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_size = 0;
    m_stamp = {};
}

std::error_code statFile(const std::string& path, FileStamp& stamp) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return lastError();
    }
    stamp = stampOf(info);
    return {};
}

std::int64_t wallClockNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return toNs(now);
}

} // namespace platform
