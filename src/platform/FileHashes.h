#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

/// The digests a file can be looked up by in a hash list.
enum class HashKind : std::uint8_t { Md5 = 0, Sha1 = 1, Sha256 = 2 };
inline constexpr std::size_t kHashKindCount = 3;

/// A set of kinds: bit (1u << kind) for each.
using HashKinds = std::uint8_t;
inline constexpr HashKinds kAllHashKinds = 0x07;

constexpr HashKinds kindBit(HashKind kind) {
    return static_cast<HashKinds>(1U << static_cast<unsigned>(kind));
}

/// Bytes in a digest of this kind: 16, 20 or 32.
constexpr std::size_t digestLength(HashKind kind) {
    switch (kind) {
    case HashKind::Md5:
        return 16;
    case HashKind::Sha1:
        return 20;
    case HashKind::Sha256:
        return 32;
    }
    return 0;
}

/// "MD5", "SHA-1" or "SHA-256".
std::string_view hashKindName(HashKind kind);

/// The first digestLength(kind) bytes hold the digest, the rest are zero.
using Digest = std::array<std::uint8_t, 32>;

struct FileDigests {
    HashKinds kinds = 0;
    std::array<Digest, kHashKindCount> values{};

    bool has(HashKind kind) const { return (kinds & kindBit(kind)) != 0; }
    const Digest& of(HashKind kind) const { return values[static_cast<std::size_t>(kind)]; }
};

/// Computes every requested kind over the same bytes in one pass, each kind once, with the
/// system's cryptography (libcrypto on Linux, which uses the processor's SHA instructions where
/// it has them; CNG on Windows).
class MultiHasher {
public:
    explicit MultiHasher(HashKinds kinds);
    ~MultiHasher();
    MultiHasher(const MultiHasher&) = delete;
    MultiHasher& operator=(const MultiHasher&) = delete;

    /// Whether every requested kind could be set up (a system may lack one, MD5 under a FIPS
    /// policy for instance); when not, `update` does nothing and `finish` gives no digest. A
    /// hasher of no kinds is ready and computes nothing.
    bool ready() const { return m_ready; }
    HashKinds kinds() const { return m_kinds; }
    void update(std::string_view bytes);
    /// The digests of everything given since the start; a kind the system failed to compute is
    /// left out of `kinds` (never a digest of part of the bytes). The hasher then starts over for
    /// the same kinds, so that one hasher can serve file after file; `ready()` tells whether it
    /// could.
    FileDigests finish();

private:
    struct State;
    HashKinds m_kinds = 0;
    bool m_ready = false;
    std::unique_ptr<State> m_state;
};

/// The digest's first digestLength(kind) bytes as lowercase hexadecimal digits.
std::string digestHex(HashKind kind, const Digest& digest);

} // namespace platform
