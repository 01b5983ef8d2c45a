#include "platform/FileCrypt.h"

#include "platform/AtomicFile.h"
#include "platform/CryptSource.h"
#include "platform/CryptStream.h"
#include "platform/linux/FileCryptKey.h"

#include <array>
#include <csignal>
#include <cstring>
#include <sodium.h>

namespace platform {

namespace {

constexpr char kMagic[] = "KESTOENC";
constexpr std::size_t kMagicSize = 8;
constexpr unsigned char kVersion = 1;
constexpr std::size_t kPrefixSize = kMagicSize + 1 + kKeyIdSize;
constexpr std::size_t kStreamHeader = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr std::size_t kHeaderSize = kPrefixSize + kStreamHeader;
constexpr std::size_t kAbytes = crypto_secretstream_xchacha20poly1305_ABYTES;
constexpr std::size_t kSealedChunk = kCryptChunk + kAbytes;

/// The stream state (it holds the key of the stream), wiped however the function holding it
/// returns.
struct StreamState {
    crypto_secretstream_xchacha20poly1305_state state{};
    StreamState() = default;
    ~StreamState() { sodium_memzero(&state, sizeof state); }
    StreamState(const StreamState&) = delete;
    StreamState& operator=(const StreamState&) = delete;
};

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

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

/// Opens the file to rewrite, after removing what a killed rewrite of it left beside it.
std::error_code openForRewrite(const std::string& path, CryptSource& source) {
    if (!sodiumReady()) {
        return std::make_error_code(std::errc::not_supported);
    }
    ignoreFileSizeSignal();
    if (const std::error_code error = source.open(path)) {
        return error;
    }
    removeStaleTemporaries(source.folder(), source.name());
    return {};
}

/// Whether a file that starts like an encrypted file is one of this key, to be left as it is:
/// its header names the key and its first chunk opens with it. `prefix` holds the first
/// `got` bytes; the file is read on from there.
std::error_code checkOwnEncrypted(CryptSource& source, const CryptKey& key,
                                  const unsigned char* prefix, std::size_t got) {
    if (got < kPrefixSize || std::memcmp(prefix + kMagicSize + 1, key.id.data(), kKeyIdSize) != 0) {
        return make_error_code(CryptError::ForeignHeader);
    }
    std::array<unsigned char, kStreamHeader> streamHeader{};
    if (const std::error_code error = source.read(streamHeader.data(), kStreamHeader, got)) {
        return error;
    }
    StreamState state;
    if (got < kStreamHeader || crypto_secretstream_xchacha20poly1305_init_pull(
                                   &state.state, streamHeader.data(), key.bytes.data()) != 0) {
        return make_error_code(CryptError::Damaged);
    }
    std::vector<unsigned char> sealed(kSealedChunk);
    if (const std::error_code error = source.read(sealed.data(), sealed.size(), got)) {
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

bool looksEncrypted(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    return size > kMagicSize && std::memcmp(bytes, kMagic, kMagicSize) == 0 &&
           bytes[kMagicSize] == kVersion;
}

std::error_code encryptFile(const std::string& path, const std::string& keyFolder,
                            const CryptProgress& progress, const CryptStop& stop) {
    CryptSource source;
    if (const std::error_code error = openForRewrite(path, source)) {
        return error;
    }
    CryptKey key;
    if (const std::error_code error = loadKey(keyFolder, key)) {
        return error;
    }
    if (key.file == source.id()) {
        return make_error_code(CryptError::KeyFile);
    }
    SecretBytes prefix(kPrefixSize);
    std::size_t got = 0;
    if (const std::error_code error = source.read(prefix.data(), kPrefixSize, got)) {
        return error;
    }
    if (looksEncrypted(prefix.data(), got)) {
        return checkOwnEncrypted(source, key, prefix.data(), got);
    }
    if (const std::error_code error = source.rewind()) {
        return error;
    }
    std::array<unsigned char, kHeaderSize> header{};
    std::memcpy(header.data(), kMagic, kMagicSize);
    header[kMagicSize] = kVersion;
    std::memcpy(header.data() + kMagicSize + 1, key.id.data(), kKeyIdSize);
    StreamState state;
    crypto_secretstream_xchacha20poly1305_init_push(&state.state, header.data() + kPrefixSize,
                                                    key.bytes.data());
    // Every chunk but the last holds exactly 64 KiB; the last holds less (possibly nothing). The
    // first is bound to the header's prefix.
    bool first = true;
    const CryptStep seal = [&](const unsigned char* plain, std::size_t size, unsigned char* sealed,
                               std::size_t& written, bool& last) {
        last = size < kCryptChunk;
        unsigned long long sealedSize = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state.state, sealed, &sealedSize, plain, size, first ? header.data() : nullptr,
            first ? kPrefixSize : 0, last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        first = false;
        written = static_cast<std::size_t>(sealedSize);
        return std::error_code();
    };
    return rewriteInChunks(source, header, {kCryptChunk, kSealedChunk}, seal, progress, stop);
}

std::error_code decryptFile(const std::string& path, const std::string& keyFolder,
                            const CryptProgress& progress, const CryptStop& stop) {
    CryptSource source;
    if (const std::error_code error = openForRewrite(path, source)) {
        return error;
    }
    std::array<unsigned char, kHeaderSize> header{};
    std::size_t got = 0;
    if (const std::error_code error = source.read(header.data(), header.size(), got)) {
        return error;
    }
    if (!looksEncrypted(header.data(), got)) {
        return {};
    }
    if (got < kHeaderSize) {
        return make_error_code(CryptError::Damaged);
    }
    CryptKey key;
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
    bool first = true;
    const CryptStep open = [&](const unsigned char* sealed, std::size_t size, unsigned char* plain,
                               std::size_t& written, bool& last) {
        unsigned long long plainSize = 0;
        unsigned char tag = 0;
        if (size < kAbytes || crypto_secretstream_xchacha20poly1305_pull(
                                  &state.state, plain, &plainSize, &tag, sealed, size,
                                  first ? header.data() : nullptr, first ? kPrefixSize : 0) != 0) {
            return make_error_code(CryptError::Damaged);
        }
        first = false;
        last = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
        // A short chunk must be the final one, and nothing may follow the final one.
        unsigned char after = 0;
        std::size_t extra = 0;
        if ((last && !source.read(&after, 1, extra) && extra != 0) ||
            (!last && size < kSealedChunk)) {
            return make_error_code(CryptError::Damaged);
        }
        written = static_cast<std::size_t>(plainSize);
        return std::error_code();
    };
    return rewriteInChunks(source, {}, {kSealedChunk, kCryptChunk}, open, progress, stop);
}

} // namespace platform
