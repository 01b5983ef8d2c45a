#include "platform/FolderFiles.h"

#include "platform/linux/DirectoryRead.h"
#include "platform/linux/SystemCall.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

using linux_calls::lastError;

/// An open folder and its entry stream; closes both.
class OpenFolder {
public:
    explicit OpenFolder(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            m_error = lastError();
            return;
        }
        m_dir = ::fdopendir(fd);
        if (m_dir == nullptr) {
            m_error = lastError();
            ::close(fd);
        }
    }
    ~OpenFolder() {
        if (m_dir != nullptr) {
            ::closedir(m_dir);
        }
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    std::error_code error() const { return m_error; }
    // Called only after error() came back empty, which a failed open or fdopendir never leaves
    // (it sets errno); the analyzer does not know that errno is then non-zero.
    int fd() const { return ::dirfd(m_dir); } // NOLINT(clang-analyzer-core.NonNullParamChecker)
    DIR* dir() const { return m_dir; }

private:
    DIR* m_dir = nullptr;
    std::error_code m_error;
};

DirectoryRead& installedRead() {
    static DirectoryRead read;
    return read;
}

/// The next entry of `folder`. readdir leaves errno as it was at the end of the entries, so it
/// is cleared before every read: a value left by an earlier call (a failed look at one entry)
/// would turn the end into an error.
const dirent* nextEntry(DIR* folder) {
    errno = 0;
    return installedRead() ? installedRead()(folder) : ::readdir(folder);
}

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

/// The FAT attribute bits of `name`, or 0 when they cannot be read.
std::uint32_t fatAttributes(int folderFd, const char* name) {
    const int fd = ::openat(folderFd, name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    std::uint32_t attributes = 0;
    if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0) {
        attributes = 0;
    }
    ::close(fd);
    return attributes;
}

} // namespace

DirectoryRead setDirectoryRead(DirectoryRead read) {
    return std::exchange(installedRead(), std::move(read));
}

std::error_code listBrowseFiles(const std::string& folder, std::vector<BrowseEntry>& files) {
    files.clear();
    OpenFolder open(folder);
    if (open.error()) {
        return open.error();
    }
    struct statfs volume {};
    const bool fat = ::fstatfs(open.fd(), &volume) == 0 && volume.f_type == MSDOS_SUPER_MAGIC;
    while (const dirent* entry = nextEntry(open.dir())) {
        if (isDotOrDotDot(entry->d_name)) {
            continue;
        }
        const unsigned char type = entry->d_type;
        if (type != DT_REG && type != DT_LNK && type != DT_UNKNOWN) {
            continue;
        }
        BrowseEntry file;
        file.name = entry->d_name;
        file.link = type == DT_LNK;
        struct stat facts {};
        // A link is never followed: it is listed as what it is, with its own size and time.
        if (::fstatat(open.fd(), entry->d_name, &facts, AT_SYMLINK_NOFOLLOW) == 0) {
            file.link = S_ISLNK(facts.st_mode);
            if (!file.link && !S_ISREG(facts.st_mode)) {
                continue;
            }
            file.size = static_cast<std::uint64_t>(facts.st_size);
            file.modified = facts.st_mtim.tv_sec;
            file.hasTime = true;
        } else if (type == DT_UNKNOWN) {
            // Gone before its kind was known.
            continue;
        }
        file.hidden = file.name.front() == '.';
        if (fat && !file.link) {
            const std::uint32_t attributes = fatAttributes(open.fd(), entry->d_name);
            file.hidden = file.hidden || (attributes & ATTR_HIDDEN) != 0;
            file.system = (attributes & ATTR_SYS) != 0;
        }
        files.push_back(std::move(file));
    }
    if (errno != 0) {
        return lastError();
    }
    std::sort(files.begin(), files.end(),
              [](const BrowseEntry& a, const BrowseEntry& b) { return a.name < b.name; });
    return {};
}

std::error_code listSubfolders(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    OpenFolder open(folder);
    if (open.error()) {
        return open.error();
    }
    while (const dirent* entry = nextEntry(open.dir())) {
        if (isDotOrDotDot(entry->d_name)) {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat facts {};
            isFolder = ::fstatat(open.fd(), entry->d_name, &facts, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISDIR(facts.st_mode);
        }
        if (isFolder) {
            names.emplace_back(entry->d_name);
        }
    }
    if (errno != 0) {
        return lastError();
    }
    std::sort(names.begin(), names.end());
    return {};
}

std::error_code probeFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return lastError();
    }
    ::close(fd);
    return {};
}

bool isDeviceUnavailable(int error) {
    return error == ENOMEDIUM || error == ENXIO || error == ENODEV || error == EIO ||
           error == ESTALE;
}

} // namespace platform
