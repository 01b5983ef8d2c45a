#include "platform/FileCrypt.h"

#include "platform/AtomicFile.h"
#include "platform/FileOps.h"
#include "platform/FolderHandle.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr char kMagic[] = "KESTOENC";
constexpr std::size_t kMagicSize = 8;
constexpr unsigned char kVersion = 1;
constexpr std::size_t kKeyIdSize = 8;
constexpr std::size_t kPrefixSize = kMagicSize + 1 + kKeyIdSize;
constexpr std::size_t kStreamHeader = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr std::size_t kHeaderSize = kPrefixSize + kStreamHeader;
constexpr std::size_t kAbytes = crypto_secretstream_xchacha20poly1305_ABYTES;
constexpr std::size_t kKeySize = crypto_secretstream_xchacha20poly1305_KEYBYTES;
constexpr std::size_t kSealedChunk = kCryptChunk + kAbytes;

class CryptCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "file encryption"; }
    std::string message(int value) const override {
        switch (static_cast<CryptError>(value)) {
        case CryptError::NotRegularFile:
            return "not a regular file";
        case CryptError::HardLinked:
            return "the file has more than one name (hard link)";
        case CryptError::KeyFile:
            return "the key file itself cannot be encrypted";
        case CryptError::KeyUnusable:
            return "the key file is unreadable, of the wrong size or not yours";
        case CryptError::WrongKey:
            return "the file was encrypted with another key";
        case CryptError::Damaged:
            return "the encrypted file is damaged or incomplete";
        case CryptError::Changed:
            return "the file changed while it was being rewritten";
        case CryptError::EmptyPath:
            return "no file given";
        case CryptError::KeyExposed:
            return "the key file can be read or changed by other users";
        case CryptError::KeyFolderExposed:
            return "the key folder is not yours or can be changed by other users";
        case CryptError::NoKeyFolder:
            return "there is no folder for the key (the account has no home folder)";
        case CryptError::ForeignHeader:
            return "the file starts like a file encrypted with another key, so it is not "
                   "encrypted again";
        case CryptError::Interrupted:
            return "interrupted; the file was left as it was";
        }
        return "unknown error";
    }
};

class KeyFolderCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "key folder"; }
    std::string message(int value) const override {
        return "cannot make or use the key folder: " + std::generic_category().message(value);
    }
    std::error_condition default_error_condition(int value) const noexcept override {
        return {value, std::generic_category()};
    }
};

std::error_code lastError() {
    return {errno, std::generic_category()};
}

std::error_code keyFolderError(int value) {
    return {value, keyFolderCategory()};
}

/// A system error met on the way to the key, as one of the key folder.
std::error_code keyFolderError(const std::error_code& error) {
    const bool system =
        error.category() == std::generic_category() || error.category() == std::system_category();
    return system ? keyFolderError(error.value()) : error;
}

/// Bytes that are wiped however the function holding them returns.
class SecretBytes {
public:
    explicit SecretBytes(std::size_t size) : m_bytes(size) {}
    ~SecretBytes() { sodium_memzero(m_bytes.data(), m_bytes.size()); }
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    unsigned char* data() { return m_bytes.data(); }

private:
    std::vector<unsigned char> m_bytes;
};

/// The stream state (it holds the key of the stream), wiped however the function holding it
/// returns.
struct StreamState {
    crypto_secretstream_xchacha20poly1305_state state{};
    StreamState() = default;
    ~StreamState() { sodium_memzero(&state, sizeof state); }
    StreamState(const StreamState&) = delete;
    StreamState& operator=(const StreamState&) = delete;
};

std::mutex& hookMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<void(CryptStage)>& hookSlot() {
    static std::function<void(CryptStage)> hook;
    return hook;
}

void reach(CryptStage stage) {
    std::function<void(CryptStage)> hook;
    {
        const std::lock_guard<std::mutex> lock(hookMutex());
        hook = hookSlot();
    }
    if (hook) {
        hook(stage);
    }
}

bool stopped(const CryptStop& stop) {
    return stop && stop();
}

/// A write past the file-size limit (ulimit -f) then fails with EFBIG and takes the failure path
/// that removes the temporary file, instead of the signal ending the program half-way. Only the
/// default action is replaced; a handler the program installed stays.
void ignoreFileSizeSignal() {
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
        current.sa_handler == SIG_DFL) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, nullptr);
    }
}

struct Key {
    std::array<unsigned char, kKeySize> bytes{};
    std::array<unsigned char, kKeyIdSize> id{};
    FileId file;
    ~Key() { sodium_memzero(bytes.data(), bytes.size()); }
};

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

/// Reads until `size` bytes or the end of the file; the count read.
std::error_code readFull(int fd, unsigned char* data, std::size_t size, std::size_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return lastError();
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return {};
}

std::error_code makeKeyFolder(const std::string& folder) {
    const std::size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (const std::error_code error = createFolders(folder.substr(0, slash))) {
            return error;
        }
    }
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return lastError();
    }
    return {};
}

/// Reads the key; an existing key is only ever read, never replaced.
std::error_code readKey(const FolderHandle& folder, Key& key) {
    const int fd =
        openat(folder.fd(), kKeyFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? lastError() : make_error_code(CryptError::KeyUnusable);
    }
    struct stat info {};
    std::size_t got = 0;
    std::array<unsigned char, kKeySize + 1> buffer{};
    const bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
                    info.st_size == static_cast<off_t>(kKeySize) &&
                    !readFull(fd, buffer.data(), buffer.size(), got) && got == kKeySize;
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
    if (fstat(folder.fd(), &info) != 0) {
        return keyFolderError(errno);
    }
    if (info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return make_error_code(CryptError::KeyFolderExposed);
    }
    return {};
}

/// Loads the user's key, making it when there is none. A new key is written completely to a
/// private temporary file and then linked to its name, which fails when another process made
/// the key first: that key is then read, so two programs never end up with different keys.
std::error_code loadKey(const std::string& keyFolder, Key& key) {
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
    const int fd = openat(folder.fd(), temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        sodium_memzero(fresh.data(), fresh.size());
        return keyFolderError(errno);
    }
    errno = ENOSPC; // what a short write means
    const bool written =
        fchmod(fd, 0600) == 0 &&
        ::write(fd, fresh.data(), fresh.size()) == static_cast<ssize_t>(fresh.size()) &&
        fsync(fd) == 0;
    const int writeErrno = errno;
    sodium_memzero(fresh.data(), fresh.size());
    ::close(fd);
    if (!written) {
        unlinkat(folder.fd(), temporary.c_str(), 0);
        return keyFolderError(writeErrno);
    }
    const bool linked = linkat(folder.fd(), temporary.c_str(), folder.fd(), kKeyFileName, 0) == 0;
    const int linkErrno = errno;
    unlinkat(folder.fd(), temporary.c_str(), 0);
    if (!linked && linkErrno != EEXIST) {
        return keyFolderError(linkErrno);
    }
    fsync(folder.fd());
    return readKey(folder, key);
}

/// The file to rewrite, opened without following a link and checked.
struct Source {
    FolderHandle folder;
    std::string name;
    int fd = -1;
    struct stat info {};
    ~Source() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::error_code openSource(const std::string& path, Source& source) {
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
    source.name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (source.name.empty() || source.name == "." || source.name == "..") {
        return make_error_code(CryptError::NotRegularFile);
    }
    if (const std::error_code error = source.folder.openPath(folderPath)) {
        return error;
    }
    source.fd = openat(source.folder.fd(), source.name.c_str(),
                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (source.fd < 0) {
        return errno == ELOOP ? make_error_code(CryptError::NotRegularFile) : lastError();
    }
    if (fstat(source.fd, &source.info) != 0) {
        return lastError();
    }
    if (!S_ISREG(source.info.st_mode)) {
        return make_error_code(CryptError::NotRegularFile);
    }
    if (source.info.st_nlink != 1) {
        return make_error_code(CryptError::HardLinked);
    }
    // Reads of a regular file never block; the flag only kept the open from waiting on a FIFO.
    fcntl(source.fd, F_SETFL, fcntl(source.fd, F_GETFL) & ~O_NONBLOCK);
    return {};
}

bool sameStamp(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

/// Whether the file is still what was read: its descriptor shows the size and times it had when
/// it was opened, every one of its bytes was read, and its name still leads to it.
std::error_code checkUnchanged(const Source& source, std::uint64_t bytesRead) {
    struct stat held {};
    struct stat named {};
    if (fstat(source.fd, &held) != 0 || !sameStamp(held, source.info) ||
        bytesRead != static_cast<std::uint64_t>(source.info.st_size) ||
        fstatat(source.folder.fd(), source.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameStamp(named, source.info)) {
        return make_error_code(CryptError::Changed);
    }
    return {};
}

/// Renames the new content over the file, unless the file changed since it was opened or a stop
/// was asked for. The last check comes after the slow flush of the new content, right before
/// the rename.
std::error_code finish(const Source& source, AtomicReplacement& replacement,
                       std::uint64_t bytesRead, const CryptStop& stop) {
    if (const std::error_code error = checkUnchanged(source, bytesRead)) {
        return error;
    }
    return replacement.commit([&]() -> std::error_code {
        reach(CryptStage::Flushed);
        if (stopped(stop)) {
            return make_error_code(CryptError::Interrupted);
        }
        return checkUnchanged(source, bytesRead);
    });
}

/// Whether a file that starts like an encrypted file is one of this key, to be left as it is:
/// its header names the key and its first chunk opens with it. `prefix` holds the first
/// `got` bytes; the file is read on from there.
std::error_code checkOwnEncrypted(int fd, const Key& key, const unsigned char* prefix,
                                  std::size_t got) {
    if (got < kPrefixSize || std::memcmp(prefix + kMagicSize + 1, key.id.data(), kKeyIdSize) != 0) {
        return make_error_code(CryptError::ForeignHeader);
    }
    std::array<unsigned char, kStreamHeader> streamHeader{};
    if (const std::error_code error = readFull(fd, streamHeader.data(), kStreamHeader, got)) {
        return error;
    }
    StreamState state;
    if (got < kStreamHeader || crypto_secretstream_xchacha20poly1305_init_pull(
                                   &state.state, streamHeader.data(), key.bytes.data()) != 0) {
        return make_error_code(CryptError::Damaged);
    }
    std::vector<unsigned char> sealed(kSealedChunk);
    if (const std::error_code error = readFull(fd, sealed.data(), sealed.size(), got)) {
        return error;
    }
    SecretBytes plain(kCryptChunk);
    unsigned long long plainSize = 0;
    unsigned char tag = 0;
    if (got < kAbytes ||
        crypto_secretstream_xchacha20poly1305_pull(&state.state, plain.data(), &plainSize, &tag,
                                                   sealed.data(), got, prefix, kPrefixSize) != 0) {
        return make_error_code(CryptError::Damaged);
    }
    return {};
}

} // namespace

std::error_code make_error_code(CryptError e) {
    static const CryptCategory category;
    return {static_cast<int>(e), category};
}

const std::error_category& keyFolderCategory() {
    static const KeyFolderCategory category;
    return category;
}

void setCryptHook(std::function<void(CryptStage)> hook) {
    const std::lock_guard<std::mutex> lock(hookMutex());
    hookSlot() = std::move(hook);
}

bool looksEncrypted(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    return size > kMagicSize && std::memcmp(bytes, kMagic, kMagicSize) == 0 &&
           bytes[kMagicSize] == kVersion;
}

std::string defaultKeyFolder() {
    // $XDG_CONFIG_HOME counts only when it is the effective user's own folder: a variable kept
    // through sudo must never put root's key into another user's folder.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    struct stat xdgInfo {};
    if (xdg != nullptr && xdg[0] == '/' && stat(xdg, &xdgInfo) == 0 && S_ISDIR(xdgInfo.st_mode) &&
        xdgInfo.st_uid == geteuid()) {
        return std::string(xdg) + "/kesto";
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
        return {};
    }
    return std::string(found->pw_dir) + "/.config/kesto";
}

std::error_code encryptFile(const std::string& path, const std::string& keyFolder,
                            const CryptProgress& progress, const CryptStop& stop) {
    if (!sodiumReady()) {
        return std::make_error_code(std::errc::not_supported);
    }
    ignoreFileSizeSignal();
    Source source;
    if (const std::error_code error = openSource(path, source)) {
        return error;
    }
    removeStaleTemporaries(source.folder, source.name);
    Key key;
    if (const std::error_code error = loadKey(keyFolder, key)) {
        return error;
    }
    if (key.file == FileId{static_cast<std::uint64_t>(source.info.st_dev),
                           static_cast<std::uint64_t>(source.info.st_ino)}) {
        return make_error_code(CryptError::KeyFile);
    }
    SecretBytes plain(kCryptChunk);
    std::size_t got = 0;
    if (const std::error_code error = readFull(source.fd, plain.data(), kPrefixSize, got)) {
        return error;
    }
    if (looksEncrypted(plain.data(), got)) {
        return checkOwnEncrypted(source.fd, key, plain.data(), got);
    }
    if (lseek(source.fd, 0, SEEK_SET) != 0) {
        return lastError();
    }
    std::array<unsigned char, kHeaderSize> header{};
    std::memcpy(header.data(), kMagic, kMagicSize);
    header[kMagicSize] = kVersion;
    std::memcpy(header.data() + kMagicSize + 1, key.id.data(), kKeyIdSize);
    StreamState state;
    crypto_secretstream_xchacha20poly1305_init_push(&state.state, header.data() + kPrefixSize,
                                                    key.bytes.data());
    AtomicReplacement replacement;
    if (const std::error_code error =
            replacement.begin(source.folder, source.name, source.info.st_mode)) {
        return error;
    }
    if (const std::error_code error = replacement.write(header.data(), header.size())) {
        return error;
    }
    std::vector<unsigned char> sealed(kSealedChunk);
    bool first = true;
    const auto total = static_cast<std::uint64_t>(source.info.st_size);
    std::uint64_t done = 0;
    // Every chunk but the last holds exactly 64 KiB; the last holds less (possibly nothing).
    for (;;) {
        if (stopped(stop)) {
            return make_error_code(CryptError::Interrupted);
        }
        if (const std::error_code error = readFull(source.fd, plain.data(), kCryptChunk, got)) {
            return error;
        }
        const bool last = got < kCryptChunk;
        done += got;
        if (progress) {
            progress(done, total);
        }
        unsigned long long sealedSize = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state.state, sealed.data(), &sealedSize, plain.data(), got,
            first ? header.data() : nullptr, first ? kPrefixSize : 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        first = false;
        if (const std::error_code error =
                replacement.write(sealed.data(), static_cast<std::size_t>(sealedSize))) {
            return error;
        }
        reach(CryptStage::ChunkWritten);
        if (last) {
            break;
        }
    }
    return finish(source, replacement, done, stop);
}

std::error_code decryptFile(const std::string& path, const std::string& keyFolder,
                            const CryptProgress& progress, const CryptStop& stop) {
    if (!sodiumReady()) {
        return std::make_error_code(std::errc::not_supported);
    }
    ignoreFileSizeSignal();
    Source source;
    if (const std::error_code error = openSource(path, source)) {
        return error;
    }
    removeStaleTemporaries(source.folder, source.name);
    std::array<unsigned char, kHeaderSize> header{};
    std::size_t got = 0;
    if (const std::error_code error = readFull(source.fd, header.data(), header.size(), got)) {
        return error;
    }
    if (!looksEncrypted(header.data(), got)) {
        return {};
    }
    if (got < kHeaderSize) {
        return make_error_code(CryptError::Damaged);
    }
    Key key;
    if (const std::error_code error = loadKey(keyFolder, key)) {
        return error;
    }
    if (std::memcmp(header.data() + kMagicSize + 1, key.id.data(), kKeyIdSize) != 0) {
        return make_error_code(CryptError::WrongKey);
    }
    StreamState state;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state.state, header.data() + kPrefixSize,
                                                        key.bytes.data()) != 0) {
        return make_error_code(CryptError::Damaged);
    }
    AtomicReplacement replacement;
    if (const std::error_code error =
            replacement.begin(source.folder, source.name, source.info.st_mode)) {
        return error;
    }
    std::vector<unsigned char> sealed(kSealedChunk + 1);
    SecretBytes plain(kCryptChunk);
    bool first = true;
    const auto total = static_cast<std::uint64_t>(source.info.st_size);
    std::uint64_t done = kHeaderSize;
    for (;;) {
        if (stopped(stop)) {
            return make_error_code(CryptError::Interrupted);
        }
        if (const std::error_code error = readFull(source.fd, sealed.data(), kSealedChunk, got)) {
            return error;
        }
        unsigned long long plainSize = 0;
        unsigned char tag = 0;
        if (got < kAbytes || crypto_secretstream_xchacha20poly1305_pull(
                                 &state.state, plain.data(), &plainSize, &tag, sealed.data(), got,
                                 first ? header.data() : nullptr, first ? kPrefixSize : 0) != 0) {
            return make_error_code(CryptError::Damaged);
        }
        first = false;
        done += got;
        if (progress) {
            progress(done, total);
        }
        const bool final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
        // A short chunk must be the final one, and nothing may follow the final one.
        std::size_t extra = 0;
        if (final && !readFull(source.fd, sealed.data(), 1, extra) && extra != 0) {
            return make_error_code(CryptError::Damaged);
        }
        if (!final && got < kSealedChunk) {
            return make_error_code(CryptError::Damaged);
        }
        if (const std::error_code error =
                replacement.write(plain.data(), static_cast<std::size_t>(plainSize))) {
            return error;
        }
        reach(CryptStage::ChunkWritten);
        if (final) {
            break;
        }
    }
    return finish(source, replacement, done, stop);
}

} // namespace platform
