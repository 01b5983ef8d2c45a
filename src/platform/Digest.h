#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// SHA-256 of bytes given in pieces, from the system's cryptography (libsodium on Linux, CNG on
/// Windows).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    /// Whether the hash could be set up; when not, nothing else may be called.
    bool ready() const { return m_state != nullptr; }
    void update(std::string_view bytes);
    /// The digest of everything given, as 64 lowercase hexadecimal digits.
    std::string hexDigest();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

/// Standard base64 with "=" padding.
std::string toBase64(std::string_view bytes);

/// Decodes standard padded base64; none for any other character, missing or extra padding, or
/// bits left over in the last character.
std::optional<std::string> fromBase64(std::string_view text);

} // namespace platform
