#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// A public key in the minisign format: an Ed25519 key and the 8-byte id that signatures name.
struct MinisignKey {
    std::array<unsigned char, 8> keyId{};
    std::array<unsigned char, 32> publicKey{};
};

/// A signature in the minisign format: the signature of the message (or of its BLAKE2b-512 hash)
/// and the global signature that binds the trusted comment to it.
struct MinisignSignature {
    /// Whether the message was hashed with BLAKE2b-512 before signing ("ED"); else it was signed
    /// as it is ("Ed").
    bool prehashed = true;
    std::array<unsigned char, 8> keyId{};
    std::array<unsigned char, 64> signature{};
    /// The text after "trusted comment: ", which the global signature covers.
    std::string trustedComment;
    std::array<unsigned char, 64> globalSignature{};
};

/// The key id as minisign prints it: 16 uppercase hexadecimal digits, most significant byte
/// first.
std::string MinisignKeyIdText(const std::array<unsigned char, 8>& keyId);

/// Reads a public key file (an untrusted comment line, then the base64 key line); none, with
/// `error` saying why, for anything else.
std::optional<MinisignKey> ParseMinisignKey(std::string_view text, std::string& error);

/// Reads a signature file (untrusted comment, signature, trusted comment, global signature);
/// none, with `error` saying why, for anything else.
std::optional<MinisignSignature> ParseMinisignSignature(std::string_view text, std::string& error);

/// Empty when `signature` by one of `keys` covers `message` and its trusted comment; else why
/// not.
std::string VerifyMinisign(std::string_view message, const MinisignSignature& signature,
                           const std::vector<MinisignKey>& keys);
