#include "platform/linux/FileCryptKey.h"

#include "platform/FileCrypt.h"
#include "platform/FileOps.h"
#include "platform/linux/ReadFull.h"
#include "platform/linux/SystemCall.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

using linux_calls::lastError;
using linux_calls::retryOnEintr;

constexpr std::size_t kKeySize = crypto_secretstream_xchacha20poly1305_KEYBYTES;

std::error_code keyFolderError(int value) {
    return {value, keyFolderCategory()};
}

/// A system error met on the way to the key, as one of the key folder.
std::error_code keyFolderError(const std::error_code& error) {
    const bool system =
        error.category() == std::generic_category() || error.category() == std::system_category();
    return system ? keyFolderError(error.value()) : error;
}

std::error_code makeKeyFolder(const std::string& folder) {
    const std::size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (const std::error_code error = createFolders(folder.substr(0, slash))) {
            return error;
        }
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return lastError();
    }
    return {};
}

/// Reads the key; an existing key is only ever read, never replaced.
std::error_code readKey(const FolderHandle& folder, CryptKey& key) {
    const int fd = retryOnEintr([&] {
        return ::openat(folder.fd(), kKeyFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    });
    if (fd < 0) {
        return errno == ENOENT ? lastError() : make_error_code(CryptError::KeyUnusable);
    }
    struct stat info {};
    std::size_t got = 0;
    std::array<unsigned char, kKeySize + 1> buffer{};
    const bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                    info.st_uid == ::geteuid() && info.st_size == static_cast<off_t>(kKeySize) &&
                    !linux_calls::readFull(fd, buffer.data(), buffer.size(), got) &&
                    got == kKeySize;
    ::close(fd);
    if (!ok) {
        sodium_memzero(buffer.data(), buffer.size());
        return make_error_code(CryptError::KeyUnusable);
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        sodium_memzero(buffer.data(), buffer.size());
        return make_error_code(CryptError::KeyExposed);
    }
    std::memcpy(key.bytes.data(), buffer.data(), kKeySize);
    sodium_memzero(buffer.data(), buffer.size());
    key.file = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    crypto_generichash(key.id.data(), key.id.size(), key.bytes.data(), key.bytes.size(), nullptr,
                       0);
    return {};
}

/// Refuses a key folder that someone else could put another key into or take the key out of.
std::error_code checkKeyFolder(const FolderHandle& folder) {
    struct stat info {};
    if (::fstat(folder.fd(), &info) != 0) {
        return keyFolderError(errno);
    }
    if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return make_error_code(CryptError::KeyFolderExposed);
    }
    return {};
}

} // namespace

std::string defaultKeyFolder() {
    // $XDG_CONFIG_HOME counts only when it is the effective user's own folder: a variable kept
    // through sudo must never put root's key into another user's folder.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    struct stat xdgInfo {};
    if (xdg != nullptr && xdg[0] == '/' && ::stat(xdg, &xdgInfo) == 0 && S_ISDIR(xdgInfo.st_mode) &&
        xdgInfo.st_uid == ::geteuid()) {
        return std::string(xdg) + "/kesto";
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
        return {};
    }
    return std::string(found->pw_dir) + "/.config/kesto";
}

/// A new key is written completely to a private temporary file and then linked to its name,
/// which fails when another process made the key first: that key is then read, so two programs
/// never end up with different keys.
std::error_code loadKey(const std::string& keyFolder, CryptKey& key) {
    if (keyFolder.empty()) {
        return make_error_code(CryptError::NoKeyFolder);
    }
    if (const std::error_code error = makeKeyFolder(keyFolder)) {
        return keyFolderError(error);
    }
    FolderHandle folder;
    if (const std::error_code error = folder.openPath(keyFolder)) {
        return keyFolderError(error);
    }
    if (const std::error_code error = checkKeyFolder(folder)) {
        return error;
    }
    std::error_code error = readKey(folder, key);
    if (error != std::errc::no_such_file_or_directory) {
        return error;
    }
    std::array<unsigned char, kKeySize> fresh{};
    crypto_secretstream_xchacha20poly1305_keygen(fresh.data());
    std::array<unsigned char, 8> random{};
    randombytes_buf(random.data(), random.size());
    std::string temporary = ".key.";
    for (const unsigned char byte : random) {
        temporary += static_cast<char>('a' + byte % 26);
    }
    const int fd = retryOnEintr([&] {
        return ::openat(folder.fd(), temporary.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    });
    if (fd < 0) {
        sodium_memzero(fresh.data(), fresh.size());
        return keyFolderError(errno);
    }
    errno = ENOSPC; // what a short write means
    const bool written = ::fchmod(fd, 0600) == 0 &&
                         retryOnEintr([&] { return ::write(fd, fresh.data(), fresh.size()); }) ==
                             static_cast<ssize_t>(fresh.size()) &&
                         ::fsync(fd) == 0;
    const int writeErrno = errno;
    sodium_memzero(fresh.data(), fresh.size());
    ::close(fd);
    if (!written) {
        ::unlinkat(folder.fd(), temporary.c_str(), 0);
        return keyFolderError(writeErrno);
    }
    const bool linked = ::linkat(folder.fd(), temporary.c_str(), folder.fd(), kKeyFileName, 0) == 0;
    const int linkErrno = errno;
    ::unlinkat(folder.fd(), temporary.c_str(), 0);
    if (!linked && linkErrno != EEXIST) {
        return keyFolderError(linkErrno);
    }
    ::fsync(folder.fd());
    return readKey(folder, key);
}

} // namespace platform
