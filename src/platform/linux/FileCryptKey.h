#pragma once

#include "platform/FolderHandle.h"

#include <array>
#include <cstddef>
#include <sodium.h>
#include <string>
#include <system_error>

namespace platform {

/// Bytes of the key id an encrypted file's header names its key by.
inline constexpr std::size_t kKeyIdSize = 8;

/// The user's file encryption key, wiped when it goes.
struct CryptKey {
    std::array<unsigned char, crypto_secretstream_xchacha20poly1305_KEYBYTES> bytes{};
    /// The start of the key's hash.
    std::array<unsigned char, kKeyIdSize> id{};
    /// The key file, which is never itself encrypted.
    FileId file;

    CryptKey() = default;
    ~CryptKey() { sodium_memzero(bytes.data(), bytes.size()); }
    CryptKey(const CryptKey&) = delete;
    CryptKey& operator=(const CryptKey&) = delete;
};

/// Loads the user's key from `keyFolder`, making the folder (0700) and the key (0600) when there
/// is none. A key or key folder that others can read or change is refused, and an existing key is
/// only ever read, never replaced. System errors on the way come in `keyFolderCategory()`.
std::error_code loadKey(const std::string& keyFolder, CryptKey& key);

} // namespace platform
