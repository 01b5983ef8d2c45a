#include "platform/HeldFile.h"

#include "platform/FileOps.h"
#include "platform/linux/SystemCall.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace platform {

namespace {

// exFAT's magic number; older kernel headers do not name it.
constexpr unsigned long kExfatMagic = 0x2011BAB0;

using linux_calls::lastError;

FileId idOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::string privateFolderName() {
    std::array<unsigned char, 8> random{};
    if (getrandom(random.data(), random.size(), 0) != static_cast<ssize_t>(random.size())) {
        random.fill(0);
    }
    std::string name = ".kesto-held-";
    for (const unsigned char byte : random) {
        std::array<char, 3> hex{};
        std::snprintf(hex.data(), hex.size(), "%02x", byte);
        name += hex.data();
    }
    return name;
}

/// Whether nobody but this program's user can change what is in the open folder. FAT and exFAT
/// keep no owners: every user who may write such a volume may change all of it anyway.
bool isPrivate(int fd, const FileId& besides) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_dev) != besides.device) {
        return false;
    }
    if (info.st_uid == ::geteuid() && (info.st_mode & 077) == 0) {
        return true;
    }
    struct statfs volume {};
    return ::fstatfs(fd, &volume) == 0 &&
           (static_cast<unsigned long>(volume.f_type) == MSDOS_SUPER_MAGIC ||
            static_cast<unsigned long>(volume.f_type) == kExfatMagic);
}

/// Renames without replacing; where the file system cannot promise that, a plain rename to a
/// name found free.
int renameNoReplace(int fromFd, const char* from, int toFd, const char* to) {
    if (::renameat2(fromFd, from, toFd, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL) {
        return -1;
    }
    struct stat info {};
    if (::fstatat(toFd, to, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(fromFd, from, toFd, to);
}

} // namespace

HeldFile::~HeldFile() {
    if (m_held) {
        putBack();
    }
    release();
}

std::error_code HeldFile::take(const FolderHandle& folder, const std::string& name,
                               const FileId& expected) {
    if (m_held || !m_privateName.empty() || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string::npos) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    // A file that is plainly another one is left where it is without being moved.
    struct stat before {};
    if (::fstatat(folder.fd(), name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0) {
        return lastError();
    }
    if (!S_ISREG(before.st_mode) || idOf(before) != expected) {
        return FileError::Changed;
    }
    m_folder = &folder;
    m_name = name;
    for (int attempt = 0; m_privateName.empty(); ++attempt) {
        const std::string candidate = privateFolderName();
        if (::mkdirat(folder.fd(), candidate.c_str(), 0700) == 0) {
            m_privateName = candidate;
        } else if (errno != EEXIST || attempt >= 8) {
            return lastError();
        }
    }
    // The name may have been given to another folder since it was made: only a folder that
    // nobody else can write, on the file's own file system, will do.
    if (const auto ec = m_private.openChild(folder, m_privateName)) {
        m_privateName.clear();
        return ec;
    }
    if (!isPrivate(m_private.fd(), expected)) {
        m_private.close();
        m_privateName.clear();
        return FileError::Changed;
    }
    if (renameNoReplace(folder.fd(), name.c_str(), m_private.fd(), kHeldFileName) != 0) {
        const std::error_code ec = lastError();
        release();
        return ec;
    }
    m_held = true;
    struct stat info {};
    if (::fstatat(m_private.fd(), kHeldFileName, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        const std::error_code ec = lastError();
        putBack();
        release();
        return ec;
    }
    if (!S_ISREG(info.st_mode) || idOf(info) != expected) {
        putBack();
        release();
        return FileError::Changed;
    }
    m_facts.id = idOf(info);
    m_facts.size = static_cast<std::uint64_t>(info.st_size);
    m_facts.mode = info.st_mode & 07777;
    m_facts.uid = info.st_uid;
    m_facts.gid = info.st_gid;
    return {};
}

std::error_code HeldFile::makeNormal() {
    if (!m_held) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    return platform::makeNormal(m_private, kHeldFileName);
}

std::error_code HeldFile::remove() {
    if (!m_held) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (const auto ec = deleteFile(m_private, kHeldFileName)) {
        return ec;
    }
    m_held = false;
    release();
    return {};
}

std::error_code HeldFile::moveTo(const FolderHandle& to, const std::string& target) {
    if (!m_held) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (const auto ec = moveFileNoReplace(m_private, kHeldFileName, to, target)) {
        return ec;
    }
    m_held = false;
    release();
    return {};
}

std::error_code HeldFile::putBack() {
    if (!m_held) {
        return {};
    }
    if (renameNoReplace(m_private.fd(), kHeldFileName, m_folder->fd(), m_name.c_str()) != 0) {
        return lastError();
    }
    m_held = false;
    release();
    return {};
}

void HeldFile::release() {
    if (m_privateName.empty() || m_held) {
        return;
    }
    // Only the folder made for this file goes, and only while it is empty.
    struct stat info {};
    if (m_private.isOpen() &&
        ::fstatat(m_folder->fd(), m_privateName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        idOf(info) == m_private.id()) {
        ::unlinkat(m_folder->fd(), m_privateName.c_str(), AT_REMOVEDIR);
    }
    m_private.close();
    m_privateName.clear();
}

} // namespace platform
