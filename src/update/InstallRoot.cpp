#include "update/InstallRoot.h"

#include "platform/FileFacts.h"
#include "platform/FileOps.h"
#include "platform/linux/SystemCall.h"
#include "signatures/SourceTrust.h"

#include <cerrno>
#include <fcntl.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::linux_calls::lastError;
using platform::linux_calls::retryOnEintr;

constexpr const char* kLockName = "update.lock";
/// Sets hold files only; a deeper tree under a stale name is not this program's.
constexpr int kRemoveDepthLimit = 8;

/// Removes everything inside the open folder `folder`, then nothing else.
std::error_code emptyFolder(const platform::FolderHandle& folder, int depth) {
    std::vector<platform::FolderEntry> entries;
    if (const std::error_code ec = folder.list(false, entries)) {
        return ec;
    }
    for (const platform::FolderEntry& entry : entries) {
        if (entry.kind == platform::FolderEntry::Kind::Folder) {
            if (depth >= kRemoveDepthLimit) {
                return std::make_error_code(std::errc::too_many_links);
            }
            platform::FolderHandle child;
            if (const std::error_code ec = child.openChild(folder, entry.name)) {
                return ec;
            }
            if (const std::error_code ec = emptyFolder(child, depth + 1)) {
                return ec;
            }
            if (::unlinkat(folder.fd(), entry.name.c_str(), AT_REMOVEDIR) != 0) {
                return lastError();
            }
        } else if (::unlinkat(folder.fd(), entry.name.c_str(), 0) != 0 && errno != ENOENT) {
            return lastError();
        }
    }
    return {};
}

} // namespace

InstallRoot::~InstallRoot() {
    if (m_lock >= 0) {
        ::close(m_lock); // closing lets go of the flock
    }
}

std::string InstallRoot::open(const std::string& path) {
    m_path = path;
    if (const std::error_code ec = platform::createFolder(path, 0755)) {
        return "the install folder " + path + " cannot be made: " + ec.message();
    }
    if (const std::error_code ec = m_folder.openPath(path)) {
        return "the install folder " + path + " cannot be opened: " + ec.message();
    }
    // Whoever may write here could swap the sets that root's scans read.
    platform::FileFacts facts;
    if (const std::error_code ec = platform::folderFacts(m_folder, facts)) {
        return "the install folder " + path + " cannot be examined: " + ec.message();
    }
    if (const std::string refusal = SourceRefusal(facts, platform::effectiveUser());
        !refusal.empty()) {
        return "the install folder " + path + " is refused: " + refusal;
    }
    m_lock = retryOnEintr([&] {
        return ::openat(m_folder.fd(), kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    });
    struct stat info {};
    if (m_lock < 0 || ::fstat(m_lock, &info) != 0) {
        return "the lock " + path + "/" + kLockName + " cannot be opened: " + lastError().message();
    }
    if (!S_ISREG(info.st_mode)) {
        return "the lock " + path + "/" + kLockName + " is not a regular file";
    }
    if (retryOnEintr([&] { return ::flock(m_lock, LOCK_EX); }) != 0) {
        return "the lock " + path + "/" + kLockName + " cannot be taken: " + lastError().message();
    }
    return {};
}

std::string InstallRoot::folderExists(const std::string& name, bool& exists) const {
    exists = false;
    struct stat info {};
    if (::fstatat(m_folder.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            return {};
        }
        return m_path + "/" + name + " cannot be examined: " + lastError().message();
    }
    if (!S_ISDIR(info.st_mode)) {
        return m_path + "/" + name + " is not a folder";
    }
    exists = true;
    return {};
}

void InstallRoot::removeStaleFolders(std::string_view prefix,
                                     std::vector<std::string>& warnings) const {
    std::vector<platform::FolderEntry> entries;
    if (const std::error_code ec = m_folder.list(false, entries)) {
        warnings.push_back("Unfinished sets in " + m_path +
                           " cannot be looked for: " + ec.message() + ".");
        return;
    }
    for (const platform::FolderEntry& entry : entries) {
        if (entry.kind == platform::FolderEntry::Kind::Folder && entry.name.starts_with(prefix)) {
            if (const std::string error = removeFolder(entry.name); !error.empty()) {
                warnings.push_back("An unfinished set cannot be removed: " + error + ".");
            }
        }
    }
}

std::string InstallRoot::makeUniqueFolder(std::string_view prefix, std::string& name,
                                          platform::FolderHandle& opened) const {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    if (sodium_init() < 0) {
        return "the random number source could not be set up";
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = std::string(prefix);
        for (int letter = 0; letter < 6; ++letter) {
            name += kLetters[randombytes_uniform(sizeof kLetters - 1)];
        }
        if (::mkdirat(m_folder.fd(), name.c_str(), 0700) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            return "a new folder cannot be made in " + m_path + ": " + lastError().message();
        }
        if (const std::error_code ec = opened.openChild(m_folder, name)) {
            return m_path + "/" + name + " cannot be opened: " + ec.message();
        }
        // Made 0700 so that nobody reads a half-written set; what scans read must be readable.
        if (::fchmod(opened.fd(), 0755) != 0) {
            return m_path + "/" + name + " cannot be made readable: " + lastError().message();
        }
        return {};
    }
    return "no free name for a new folder in " + m_path;
}

std::string InstallRoot::removeFolder(const std::string& name) const {
    platform::FolderHandle folder;
    std::error_code ec = folder.openChild(m_folder, name);
    if (!ec) {
        ec = emptyFolder(folder, 0);
    }
    if (!ec && ::unlinkat(m_folder.fd(), name.c_str(), AT_REMOVEDIR) != 0) {
        ec = lastError();
    }
    return ec ? m_path + "/" + name + " cannot be removed: " + ec.message() : std::string();
}

std::string InstallRoot::exchange(const std::string& first, const std::string& second) const {
    if (::renameat2(m_folder.fd(), first.c_str(), m_folder.fd(), second.c_str(), RENAME_EXCHANGE) !=
        0) {
        return m_path + "/" + first + " and " + second +
               " cannot be swapped: " + lastError().message();
    }
    return {};
}

std::string InstallRoot::rename(const std::string& from, const std::string& to) const {
    if (::renameat2(m_folder.fd(), from.c_str(), m_folder.fd(), to.c_str(), RENAME_NOREPLACE) !=
        0) {
        return m_path + "/" + from + " cannot be renamed to " + to + ": " + lastError().message();
    }
    return {};
}

std::string InstallRoot::sync() const {
    return SyncFolder(m_folder, m_path);
}

std::string SyncFolder(const platform::FolderHandle& folder, const std::string& path) {
    if (retryOnEintr([&] { return ::fsync(folder.fd()); }) != 0) {
        return path + " cannot be flushed to the disk: " + lastError().message();
    }
    return {};
}
