#include "platform/CryptSource.h"

#include "platform/FileCrypt.h"
#include "platform/linux/ReadFull.h"
#include "platform/linux/StatStamp.h"
#include "platform/linux/SystemCall.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

using linux_calls::lastError;
using linux_calls::retryOnEintr;

CryptSource::~CryptSource() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::error_code CryptSource::open(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    if (trimmed.empty()) {
        return make_error_code(CryptError::EmptyPath);
    }
    const std::size_t slash = trimmed.rfind('/');
    const std::string folderPath = slash == std::string::npos ? std::string(".")
                                   : slash == 0               ? std::string("/")
                                                              : trimmed.substr(0, slash);
    m_name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (m_name.empty() || m_name == "." || m_name == "..") {
        return make_error_code(CryptError::NotRegularFile);
    }
    if (const std::error_code error = m_folder.openPath(folderPath)) {
        return error;
    }
    m_fd = retryOnEintr([&] {
        return ::openat(m_folder.fd(), m_name.c_str(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    });
    if (m_fd < 0) {
        return errno == ELOOP ? make_error_code(CryptError::NotRegularFile) : lastError();
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        return lastError();
    }
    if (!S_ISREG(info.st_mode)) {
        return make_error_code(CryptError::NotRegularFile);
    }
    if (info.st_nlink != 1) {
        return make_error_code(CryptError::HardLinked);
    }
    m_stamp = stampOf(info);
    m_mode = info.st_mode;
    m_read = 0;
    // Reads of a regular file never block; the flag only kept the open from waiting on a FIFO.
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    return {};
}

std::error_code CryptSource::read(unsigned char* data, std::size_t size, std::size_t& got) {
    const std::error_code error = linux_calls::readFull(m_fd, data, size, got);
    m_read += got;
    return error;
}

std::error_code CryptSource::rewind() {
    if (::lseek(m_fd, 0, SEEK_SET) != 0) {
        return lastError();
    }
    m_read = 0;
    return {};
}

std::error_code CryptSource::checkUnchanged() const {
    struct stat held {};
    FileStamp named;
    if (::fstat(m_fd, &held) != 0 || stampOf(held) != m_stamp || m_read != m_stamp.size ||
        m_folder.statFile(m_name, named) || named != m_stamp) {
        return make_error_code(CryptError::Changed);
    }
    return {};
}

} // namespace platform
