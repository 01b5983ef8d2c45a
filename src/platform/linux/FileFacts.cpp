#include "platform/FileFacts.h"

#include "platform/linux/SystemCall.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

using linux_calls::lastError;

FileFacts factsFrom(const struct stat& info) {
    FileFacts facts;
    facts.id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    facts.size = static_cast<std::uint64_t>(info.st_size);
    facts.mode = info.st_mode & 07777;
    facts.uid = info.st_uid;
    facts.gid = info.st_gid;
    return facts;
}

} // namespace

std::error_code factsOf(const FolderHandle& folder, const std::string& name, FileFacts& facts) {
    struct stat info {};
    if (::fstatat(folder.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return lastError();
    }
    if (!S_ISREG(info.st_mode)) {
        return FileError::NotRegularFile;
    }
    facts = factsFrom(info);
    return {};
}

std::error_code folderFacts(const FolderHandle& folder, FileFacts& facts) {
    struct stat info {};
    if (::fstat(folder.fd(), &info) != 0) {
        return lastError();
    }
    facts = factsFrom(info);
    facts.size = 0;
    return {};
}

std::error_code factsOfOpenFile(const InputFile& file, FileFacts& facts) {
    struct stat info {};
    if (::fstat(file.nativeHandle(), &info) != 0) {
        return lastError();
    }
    facts = factsFrom(info);
    return {};
}

std::error_code setModeAndOwner(const FolderHandle& folder, const std::string& name,
                                const FileId& expected, std::uint32_t mode,
                                const std::optional<FileOwner>& owner) {
    const int fd = linux_calls::retryOnEintr([&] {
        return ::openat(folder.fd(), name.c_str(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    });
    if (fd < 0) {
        return lastError();
    }
    std::error_code result;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        result = lastError();
    } else if (!S_ISREG(info.st_mode) || factsFrom(info).id != expected) {
        result = FileError::Changed;
    } else if (owner && ::fchown(fd, owner->uid, owner->gid) != 0) {
        result = lastError();
    } else if (::fchmod(fd, mode & 07777) != 0) {
        // A change of owner clears the set-id bits, so the mode comes last.
        result = lastError();
    }
    ::close(fd);
    return result;
}

std::error_code openFolderWithoutLinks(const std::string& path, FolderHandle& folder,
                                       std::string& failedAt) {
    failedAt.assign(1, '/');
    if (path.empty() || path.front() != '/') {
        return std::make_error_code(std::errc::invalid_argument);
    }
    if (const auto ec = folder.openPath("/")) {
        return ec;
    }
    std::string reached;
    std::size_t start = 1;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") {
            continue;
        }
        reached += "/" + name;
        FolderHandle child;
        if (auto ec = child.openChild(folder, name)) {
            failedAt = reached;
            // O_NOFOLLOW reports a link as ELOOP, O_DIRECTORY as ENOTDIR; tell a link apart.
            struct stat info {};
            if (ec == std::errc::not_a_directory &&
                ::fstatat(folder.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(info.st_mode)) {
                ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
            }
            folder.close();
            return ec;
        }
        folder = std::move(child);
    }
    return {};
}

bool runningAsRoot() {
    return ::geteuid() == 0;
}

std::uint32_t effectiveUser() {
    return ::geteuid();
}

} // namespace platform
