#include "platform/AppendFile.h"

#include "platform/InputFile.h"
#include "platform/linux/SystemCall.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

using linux_calls::lastError;

AppendFile::~AppendFile() {
    close();
}

std::error_code AppendFile::open(const std::string& path, std::uint32_t mode) {
    close();
    // O_NONBLOCK keeps the open of a FIFO without a reader from waiting; such a file is refused.
    const int fd =
        ::open(path.c_str(),
               O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
               static_cast<mode_t>(mode));
    if (fd < 0) {
        return lastError();
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const std::error_code ec = lastError();
        ::close(fd);
        return ec;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return make_error_code(FileError::NotRegularFile);
    }
    m_fd = fd;
    return {};
}

std::error_code AppendFile::size(std::uint64_t& bytes) const {
    struct stat info {};
    if (m_fd < 0) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (::fstat(m_fd, &info) != 0) {
        return lastError();
    }
    bytes = static_cast<std::uint64_t>(info.st_size);
    return {};
}

std::error_code AppendFile::write(std::string_view data) {
    if (m_fd < 0) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    while (!data.empty()) {
        const ssize_t written =
            linux_calls::retryOnEintr([&] { return ::write(m_fd, data.data(), data.size()); });
        if (written < 0) {
            return lastError();
        }
        if (written == 0) {
            // A regular file that takes no byte of a write is full.
            return std::make_error_code(std::errc::no_space_on_device);
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

void AppendFile::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace platform
