#include "platform/AtomicFile.h"

#include "platform/AtomicReplaceParts.h"
#include "platform/linux/SystemCall.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

using linux_calls::lastError;
using linux_calls::retryOnEintr;

ssize_t writeSome(int fd, const void* data, std::size_t size) {
    const WriteCall call = detail::installedWriteCall();
    return call ? call(fd, data, size) : ::write(fd, data, size);
}

std::string temporaryNameFor(const std::string& name) {
    std::array<unsigned char, 12> random{};
    if (getrandom(random.data(), random.size(), 0) != static_cast<ssize_t>(random.size())) {
        random.fill(0);
    }
    return detail::temporaryNameFor(name, random);
}

} // namespace

AtomicReplacement::~AtomicReplacement() {
    abandon();
}

std::error_code AtomicReplacement::begin(const FolderHandle& folder, const std::string& name,
                                         mode_t mode) {
    abandon();
    if (!folder.isOpen() || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string::npos || name.find('\0') != std::string::npos) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    m_folder = folder.fd();
    m_name = name;
    m_mode = mode & 07777;
    m_owner = static_cast<uid_t>(-1);
    m_group = static_cast<gid_t>(-1);
    // The replacement keeps the mode of the file it replaces.
    struct stat info {};
    if (fstatat(m_folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(info.st_mode)) {
            return std::make_error_code(std::errc::invalid_argument);
        }
        m_mode = info.st_mode & 07777;
        m_owner = info.st_uid;
        m_group = info.st_gid;
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string candidate = temporaryNameFor(name);
        const int fd = openat(m_folder, candidate.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            // Marks the file as in use until it is closed; nobody else has it open yet.
            flock(fd, LOCK_EX | LOCK_NB);
            m_fd = fd;
            m_temporary = candidate;
            return {};
        }
        if (errno != EEXIST) {
            return lastError();
        }
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code AtomicReplacement::write(const void* data, std::size_t size) {
    if (m_fd < 0) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t written = retryOnEintr([&] { return writeSome(m_fd, bytes, size); });
        if (written < 0) {
            const std::error_code error = lastError();
            abandon();
            return error;
        }
        if (written == 0) {
            abandon();
            return std::make_error_code(std::errc::no_space_on_device);
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

std::error_code AtomicReplacement::commit(const CommitCheck& check) {
    if (m_fd < 0) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    std::error_code error;
    // Only root may give a file away; for anyone else the owner stays the writer.
    if (m_owner != static_cast<uid_t>(-1) && geteuid() == 0) {
        const int changed = fchown(m_fd, m_owner, m_group);
        static_cast<void>(changed);
    }
    if (fchmod(m_fd, m_mode) != 0 || fsync(m_fd) != 0) {
        error = lastError();
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && !error) {
        error = lastError();
    }
    if (!error && check) {
        error = check();
    }
    if (!error && renameat(m_folder, m_temporary.c_str(), m_folder, m_name.c_str()) != 0) {
        error = lastError();
    }
    if (error) {
        abandon();
        return error;
    }
    m_temporary.clear();
    // The rename is only lasting once the folder itself is on the disk.
    if (fsync(m_folder) != 0 && errno != EINVAL) {
        return lastError();
    }
    return {};
}

void removeStaleTemporaries(const FolderHandle& folder, const std::string& name) {
    std::vector<FolderEntry> entries;
    if (!folder.isOpen() || folder.list(false, entries)) {
        return;
    }
    for (const FolderEntry& entry : entries) {
        if (entry.kind != FolderEntry::Kind::RegularFile ||
            !detail::isTemporaryNameFor(entry.name, name)) {
            continue;
        }
        const int fd = openat(folder.fd(), entry.name.c_str(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat held {};
        struct stat named {};
        // A live replacement holds the lock; the name must still be the file that was checked.
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == geteuid() &&
            held.st_nlink == 1 && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(folder.fd(), entry.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
            unlinkat(folder.fd(), entry.name.c_str(), 0);
        }
        ::close(fd);
    }
}

void AtomicReplacement::abandon() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        unlinkat(m_folder, m_temporary.c_str(), 0);
        m_temporary.clear();
    }
}

} // namespace platform
