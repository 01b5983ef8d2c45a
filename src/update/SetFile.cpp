#include "update/SetFile.h"

#include "platform/linux/SystemCall.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::linux_calls::lastError;
using platform::linux_calls::retryOnEintr;

SetFile::~SetFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::string SetFile::create(const platform::FolderHandle& set, const std::string& setPath,
                            const std::string& name) {
    m_path = setPath + "/" + name;
    m_fd = retryOnEintr([&] {
        return ::openat(set.fd(), name.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    });
    if (m_fd < 0) {
        return m_path + " cannot be made: " + lastError().message();
    }
    // The umask must not hide a set from the users whose scans read it.
    if (::fchmod(m_fd, 0644) != 0) {
        return m_path + " cannot be made readable: " + lastError().message();
    }
    return {};
}

std::string SetFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written =
            retryOnEintr([&] { return ::write(m_fd, bytes.data(), bytes.size()); });
        if (written <= 0) {
            return m_path + " cannot be written: " +
                   (written < 0 ? lastError().message() : std::string("nothing was written"));
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

std::string SetFile::finish() {
    const int fd = m_fd;
    m_fd = -1;
    if (retryOnEintr([&] { return ::fsync(fd); }) != 0) {
        const std::string error =
            m_path + " cannot be flushed to the disk: " + lastError().message();
        ::close(fd);
        return error;
    }
    // A failed close may report a write that failed late (on network file systems).
    if (::close(fd) != 0) {
        return m_path + " cannot be closed: " + lastError().message();
    }
    return {};
}
