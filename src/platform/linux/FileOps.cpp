#include "platform/FileOps.h"

#include "platform/linux/SystemCall.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <linux/msdos_fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

using linux_calls::lastError;
using linux_calls::retryOnEintr;

/// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    /// Closes now; a close that fails can mean that written data was lost.
    std::error_code close() {
        if (m_fd < 0) {
            return {};
        }
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? std::error_code() : lastError();
    }

private:
    int m_fd;
};

int openAt(int folderFd, const std::string& name, int flags, mode_t mode = 0) {
    return retryOnEintr(
        [&] { return ::openat(folderFd, name.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode); });
}

/// Clears the read-only, hidden, system and archive attributes of a file on a FAT volume; other
/// file systems have none of them.
std::error_code clearFatAttributes(const FolderHandle& folder, const std::string& name) {
    const Descriptor file(openAt(folder.fd(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    if (!file.valid()) {
        return lastError();
    }
    struct statfs volume {};
    if (::fstatfs(file.get(), &volume) != 0) {
        return lastError();
    }
    if (volume.f_type != MSDOS_SUPER_MAGIC) {
        return {};
    }
    std::uint32_t attributes = 0;
    if (::ioctl(file.get(), FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0) {
        return errno == ENOTTY ? std::error_code() : lastError();
    }
    constexpr std::uint32_t kCleared = ATTR_RO | ATTR_HIDDEN | ATTR_SYS | ATTR_ARCH;
    if ((attributes & kCleared) == 0) {
        return {};
    }
    attributes &= ~kCleared;
    if (::ioctl(file.get(), FAT_IOCTL_SET_ATTRIBUTES, &attributes) != 0) {
        return errno == ENOTTY ? std::error_code() : lastError();
    }
    return {};
}

std::error_code writeAll(int fd, const char* data, std::size_t count) {
    while (count > 0) {
        const ssize_t written = retryOnEintr([&] { return ::write(fd, data, count); });
        if (written < 0) {
            return lastError();
        }
        data += written;
        count -= static_cast<std::size_t>(written);
    }
    return {};
}

/// Copies the file `name` of `from` to a new file `target` of `to` (never an existing one),
/// flushes it and only then removes the source, if that name still holds the file copied. On any
/// failure the new file is removed and the source stays.
std::error_code copyThenRemove(const FolderHandle& from, const std::string& name,
                               const FolderHandle& to, const std::string& target) {
    Descriptor in(openAt(from.fd(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    if (!in.valid()) {
        return lastError();
    }
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) {
        return lastError();
    }
    if (!S_ISREG(info.st_mode)) {
        return {S_ISDIR(info.st_mode) ? EISDIR : EINVAL, std::generic_category()};
    }
    Descriptor out(
        openAt(to.fd(), target, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, S_IRUSR | S_IWUSR));
    if (!out.valid()) {
        return lastError();
    }
    const auto fail = [&](std::error_code ec) {
        out.close();
        ::unlinkat(to.fd(), target.c_str(), 0);
        return ec;
    };
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got =
            retryOnEintr([&] { return ::read(in.get(), buffer.data(), buffer.size()); });
        if (got < 0) {
            return fail(lastError());
        }
        if (got == 0) {
            break;
        }
        if (const auto ec = writeAll(out.get(), buffer.data(), static_cast<std::size_t>(got))) {
            return fail(ec);
        }
    }
    // The permission bits go along; set-user-id, set-group-id and sticky do not, so that a
    // quarantined program never runs with its copier's rights.
    if (::fchmod(out.get(), info.st_mode & 0777) != 0 || ::fsync(out.get()) != 0) {
        return fail(lastError());
    }
    if (const auto ec = out.close()) {
        return fail(ec);
    }
    ::fsync(to.fd());
    // The name may have been given to another file while it was copied.
    struct stat now {};
    if (::fstatat(from.fd(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail(lastError());
    }
    if (now.st_dev != info.st_dev || now.st_ino != info.st_ino) {
        return fail(std::make_error_code(std::errc::device_or_resource_busy));
    }
    if (::unlinkat(from.fd(), name.c_str(), 0) != 0) {
        return fail(lastError());
    }
    return {};
}

} // namespace

std::string homeFolder() {
    if (const char* home = std::getenv("HOME");
        ::geteuid() != 0 && home != nullptr && *home != '\0') {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    return found != nullptr && found->pw_dir != nullptr ? found->pw_dir : std::string();
}

std::error_code createFolders(const std::string& path) {
    // Each missing folder is made in turn with 0755 at most, whatever the umask: a folder this
    // program makes, often as root, is never one that others may write.
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string part = path.substr(0, end);
        if (!part.empty() && part.back() != '/' && ::mkdir(part.c_str(), 0755) != 0) {
            const int error = errno;
            struct stat info {};
            if (error != EEXIST || ::stat(part.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
                return {error == EEXIST ? ENOTDIR : error, std::generic_category()};
            }
        }
        if (end == std::string::npos) {
            return {};
        }
    }
}

std::error_code createFolder(const std::string& path, std::uint32_t mode) {
    const std::filesystem::path folder(path);
    if (folder.has_parent_path() && folder.parent_path() != folder) {
        if (const auto ec = createFolders(folder.parent_path().string())) {
            return ec;
        }
    }
    if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
        return lastError();
    }
    return {};
}

std::error_code createPrivateFolder(const std::string& path) {
    return createFolder(path, 0700);
}

std::error_code renameFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return lastError();
    }
    return {};
}

std::error_code makeNormal(const FolderHandle& folder, const std::string& name) {
    struct stat info {};
    if (::fstatat(folder.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return lastError();
    }
    if (!S_ISREG(info.st_mode)) {
        return {S_ISDIR(info.st_mode) ? EISDIR : EINVAL, std::generic_category()};
    }
    std::error_code result;
    if ((info.st_mode & S_IWUSR) == 0 &&
        ::fchmodat(folder.fd(), name.c_str(), (info.st_mode & 07777) | S_IWUSR,
                   AT_SYMLINK_NOFOLLOW) != 0) {
        result = lastError();
    }
    // On FAT the attributes are cleared even when the permission change was refused.
    if (const auto ec = clearFatAttributes(folder, name); ec && !result) {
        result = ec;
    }
    return result;
}

std::error_code deleteFile(const FolderHandle& folder, const std::string& name) {
    // Without AT_REMOVEDIR, unlinkat() refuses folders (EISDIR), so a folder is never removed.
    if (::unlinkat(folder.fd(), name.c_str(), 0) != 0) {
        return lastError();
    }
    return {};
}

std::error_code moveFileNoReplace(const FolderHandle& from, const std::string& name,
                                  const FolderHandle& to, const std::string& target) {
    if (::renameat2(from.fd(), name.c_str(), to.fd(), target.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    int error = errno;
    if (error == EINVAL) {
        // The file system cannot rename without replacing; a hard link never replaces either.
        if (::linkat(from.fd(), name.c_str(), to.fd(), target.c_str(), 0) == 0) {
            if (::unlinkat(from.fd(), name.c_str(), 0) != 0) {
                const std::error_code ec = lastError();
                ::unlinkat(to.fd(), target.c_str(), 0);
                return ec;
            }
            return {};
        }
        error = errno;
        // Without hard links too, a copy is still a move that never replaces.
        if (error == EPERM || error == EOPNOTSUPP || error == EMLINK) {
            error = EXDEV;
        }
    }
    if (error == EXDEV) {
        return copyThenRemove(from, name, to, target);
    }
    return {error, std::generic_category()};
}

} // namespace platform
