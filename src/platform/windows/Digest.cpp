#include "platform/Digest.h"

#include <array>
#include <vector>

// windows.h first: bcrypt.h builds on its types.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

namespace platform {

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash != nullptr) {
            BCryptDestroyHash(hash);
        }
        if (algorithm != nullptr) {
            BCryptCloseAlgorithmProvider(algorithm, 0);
        }
    }
};

Sha256::Sha256() {
    auto state = std::make_unique<State>();
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(
            BCryptCreateHash(state->algorithm, &state->hash, nullptr, 0, nullptr, 0, 0))) {
        return;
    }
    m_state = std::move(state);
}

Sha256::~Sha256() = default;

void Sha256::update(std::string_view bytes) {
    // BCryptHashData takes a ULONG length.
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    while (!bytes.empty()) {
        const std::string_view piece = bytes.substr(0, kPiece);
        BCryptHashData(m_state->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(piece.data())),
                       static_cast<ULONG>(piece.size()), 0);
        bytes.remove_prefix(piece.size());
    }
}

std::string Sha256::hexDigest() {
    std::array<unsigned char, 32> hash{};
    BCryptFinishHash(m_state->hash, hash.data(), static_cast<ULONG>(hash.size()), 0);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : hash) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : (c == '/' ? 63 : -1);
}

} // namespace

std::string toBase64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t at = 0;
    for (; at + 3 <= bytes.size(); at += 3) {
        const auto b0 = static_cast<unsigned char>(bytes[at]);
        const auto b1 = static_cast<unsigned char>(bytes[at + 1]);
        const auto b2 = static_cast<unsigned char>(bytes[at + 2]);
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
        out += kAlphabet[((b1 & 0x0F) << 2) | (b2 >> 6)];
        out += kAlphabet[b2 & 0x3F];
    }
    if (at + 1 == bytes.size()) {
        const auto b0 = static_cast<unsigned char>(bytes[at]);
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[(b0 & 0x03) << 4];
        out += "==";
    } else if (at + 2 == bytes.size()) {
        const auto b0 = static_cast<unsigned char>(bytes[at]);
        const auto b1 = static_cast<unsigned char>(bytes[at + 1]);
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
        out += kAlphabet[(b1 & 0x0F) << 2];
        out += '=';
    }
    return out;
}

std::optional<std::string> fromBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    unsigned bits = 0;
    unsigned held = 0;
    std::size_t at = 0;
    for (; at < text.size() && text[at] != '='; ++at) {
        const int value = valueOf(text[at]);
        if (value < 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>((bits >> held) & 0xFF);
        }
        bits &= (1U << held) - 1;
    }
    // Two or four bits may be left over, and must be zero; each pair of them stands for one "=".
    if (held > 4 || bits != 0) {
        return std::nullopt;
    }
    const std::size_t padding = held / 2;
    if (text.size() - at != padding || text.substr(at) != std::string_view("==", padding)) {
        return std::nullopt;
    }
    return out;
}

} // namespace platform
