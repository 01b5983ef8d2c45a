#include "update/Minisign.h"

#include "platform/Digest.h"

#include <algorithm>
#include <sodium.h>

namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment:";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::size_t kTextLimit = 16384;

/// Splits `text` into lines at "\n", each without a final "\r"; a final line break ends the last
/// line instead of starting an empty one.
std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        result.push_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    // Blank lines after the last one that counts are tolerated, as an editor may leave them.
    while (!result.empty() && result.back().find_first_not_of(" \t") == std::string_view::npos) {
        result.pop_back();
    }
    return result;
}

template <std::size_t N> void copyBytes(std::string_view from, std::array<unsigned char, N>& to) {
    std::copy_n(reinterpret_cast<const unsigned char*>(from.data()), N, to.begin());
}

/// The decoded base64 line `line` when it is exactly `size` bytes long.
std::optional<std::string> decodedLine(std::string_view line, std::size_t size) {
    std::optional<std::string> bytes = platform::fromBase64(line);
    if (!bytes || bytes->size() != size) {
        return std::nullopt;
    }
    return bytes;
}

bool verifies(std::string_view message, const std::array<unsigned char, 64>& signature,
              const std::array<unsigned char, 32>& publicKey) {
    return crypto_sign_verify_detached(signature.data(),
                                       reinterpret_cast<const unsigned char*>(message.data()),
                                       message.size(), publicKey.data()) == 0;
}

} // namespace

std::string MinisignKeyIdText(const std::array<unsigned char, 8>& keyId) {
    // minisign shows the id as a little-endian 64-bit number.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (auto byte = keyId.rbegin(); byte != keyId.rend(); ++byte) {
        text += kHex[*byte >> 4];
        text += kHex[*byte & 15];
    }
    return text;
}

std::optional<MinisignKey> ParseMinisignKey(std::string_view text, std::string& error) {
    error.clear();
    if (text.size() > kTextLimit) {
        error = "the key file is larger than 16 KiB";
        return std::nullopt;
    }
    const std::vector<std::string_view> parts = lines(text);
    if (parts.size() != 2 || !parts[0].starts_with(kUntrustedPrefix)) {
        error = "not a minisign public key (an untrusted comment line, then the key line)";
        return std::nullopt;
    }
    const std::optional<std::string> bytes = decodedLine(parts[1], 2 + 8 + 32);
    if (!bytes) {
        error = "the key line is not the base64 of a 42-byte minisign key";
        return std::nullopt;
    }
    if (bytes->compare(0, 2, "Ed") != 0) {
        error = "the key is not an Ed25519 key";
        return std::nullopt;
    }
    MinisignKey key;
    copyBytes(std::string_view(*bytes).substr(2, 8), key.keyId);
    copyBytes(std::string_view(*bytes).substr(10, 32), key.publicKey);
    return key;
}

std::optional<MinisignSignature> ParseMinisignSignature(std::string_view text, std::string& error) {
    error.clear();
    if (text.size() > kTextLimit) {
        error = "the signature file is larger than 16 KiB";
        return std::nullopt;
    }
    const std::vector<std::string_view> parts = lines(text);
    if (parts.size() != 4 || !parts[0].starts_with(kUntrustedPrefix) ||
        !parts[2].starts_with(kTrustedPrefix)) {
        error = "not a minisign signature (untrusted comment, signature, trusted comment, global "
                "signature)";
        return std::nullopt;
    }
    const std::optional<std::string> bytes = decodedLine(parts[1], 2 + 8 + 64);
    if (!bytes) {
        error = "the signature line is not the base64 of a 74-byte minisign signature";
        return std::nullopt;
    }
    MinisignSignature signature;
    if (bytes->compare(0, 2, "ED") == 0) {
        signature.prehashed = true;
    } else if (bytes->compare(0, 2, "Ed") == 0) {
        signature.prehashed = false;
    } else {
        error = "the signature is made with an unknown algorithm";
        return std::nullopt;
    }
    copyBytes(std::string_view(*bytes).substr(2, 8), signature.keyId);
    copyBytes(std::string_view(*bytes).substr(10, 64), signature.signature);
    signature.trustedComment = std::string(parts[2].substr(kTrustedPrefix.size()));
    const std::optional<std::string> global = decodedLine(parts[3], 64);
    if (!global) {
        error = "the global signature line is not the base64 of a 64-byte signature";
        return std::nullopt;
    }
    copyBytes(*global, signature.globalSignature);
    return signature;
}

std::string VerifyMinisign(std::string_view message, const MinisignSignature& signature,
                           const std::vector<MinisignKey>& keys) {
    if (sodium_init() < 0) {
        return "the cryptography library could not be set up";
    }
    const auto key = std::find_if(keys.begin(), keys.end(), [&](const MinisignKey& candidate) {
        return candidate.keyId == signature.keyId;
    });
    if (key == keys.end()) {
        return "the signature's key " + MinisignKeyIdText(signature.keyId) + " is not trusted";
    }
    std::array<unsigned char, crypto_generichash_BYTES_MAX> hash{};
    std::string_view signedBytes = message;
    if (signature.prehashed) {
        crypto_generichash(hash.data(), hash.size(),
                           reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                           nullptr, 0);
        signedBytes = std::string_view(reinterpret_cast<const char*>(hash.data()), hash.size());
    }
    if (!verifies(signedBytes, signature.signature, key->publicKey)) {
        return "the signature does not match the signed text (key " +
               MinisignKeyIdText(signature.keyId) + ")";
    }
    // The global signature covers the signature and the trusted comment, so that neither can be
    // swapped for another.
    std::string global(reinterpret_cast<const char*>(signature.signature.data()),
                       signature.signature.size());
    global += signature.trustedComment;
    if (!verifies(global, signature.globalSignature, key->publicKey)) {
        return "the signature's trusted comment is not signed by key " +
               MinisignKeyIdText(signature.keyId);
    }
    return {};
}
