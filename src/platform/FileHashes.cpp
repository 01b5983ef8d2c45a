#include "platform/FileHashes.h"

namespace platform {

std::string_view hashKindName(HashKind kind) {
    switch (kind) {
    case HashKind::Md5:
        return "MD5";
    case HashKind::Sha1:
        return "SHA-1";
    case HashKind::Sha256:
        return "SHA-256";
    }
    return "?";
}

std::string digestHex(HashKind kind, const Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const std::size_t length = digestLength(kind);
    std::string hex;
    hex.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0x0F];
    }
    return hex;
}

} // namespace platform
