#include "platform/FolderListing.h"

#include "platform/linux/StatStamp.h"
#include "platform/linux/SystemCall.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

using linux_calls::lastError;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

FolderEntry::Kind kindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return FolderEntry::Kind::RegularFile;
    }
    return S_ISDIR(mode) ? FolderEntry::Kind::Folder : FolderEntry::Kind::Other;
}

} // namespace

std::error_code listOpenFolder(int fd, bool withSizes, std::vector<FolderEntry>& entries) {
    entries.clear();
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        const std::error_code ec = lastError();
        ::close(fd);
        return ec;
    }
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(dir.get());
        if (item == nullptr) {
            if (errno != 0) {
                return lastError();
            }
            break;
        }
        const std::string_view name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        FolderEntry entry;
        entry.name = name;
        entry.id = item->d_ino;
        bool known = true;
        switch (item->d_type) {
        case DT_REG:
            entry.kind = FolderEntry::Kind::RegularFile;
            break;
        case DT_DIR:
            entry.kind = FolderEntry::Kind::Folder;
            break;
        case DT_UNKNOWN:
            known = false;
            break;
        default:
            entry.kind = FolderEntry::Kind::Other;
        }
        if (!known || (withSizes && entry.kind == FolderEntry::Kind::RegularFile)) {
            struct stat info {};
            if (::fstatat(fd, item->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                continue; // vanished since the listing
            }
            entry.kind = kindOf(info.st_mode);
            entry.size = static_cast<std::uint64_t>(info.st_size);
        }
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return {};
}

std::error_code canonicalFolder(const std::string& path, std::string& canonical) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return lastError();
    }
    canonical = resolved;
    std::free(resolved);
    struct stat info {};
    if (::stat(canonical.c_str(), &info) != 0) {
        return lastError();
    }
    if (!S_ISDIR(info.st_mode)) {
        return std::make_error_code(std::errc::not_a_directory);
    }
    return {};
}

} // namespace platform
