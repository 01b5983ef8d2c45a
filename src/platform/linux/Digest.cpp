#include "platform/Digest.h"

#include <array>
#include <sodium.h>

namespace platform {

struct Sha256::State {
    crypto_hash_sha256_state hash;
};

Sha256::Sha256() {
    if (sodium_init() < 0) {
        return;
    }
    m_state = std::make_unique<State>();
    crypto_hash_sha256_init(&m_state->hash);
}

Sha256::~Sha256() = default;

void Sha256::update(std::string_view bytes) {
    crypto_hash_sha256_update(&m_state->hash, reinterpret_cast<const unsigned char*>(bytes.data()),
                              bytes.size());
}

std::string Sha256::hexDigest() {
    std::array<unsigned char, crypto_hash_sha256_BYTES> hash{};
    crypto_hash_sha256_final(&m_state->hash, hash.data());
    std::array<char, crypto_hash_sha256_BYTES * 2 + 1> hex{};
    sodium_bin2hex(hex.data(), hex.size(), hash.data(), hash.size());
    return hex.data();
}

std::string toBase64(std::string_view bytes) {
    std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                      bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    out.resize(out.size() - 1); // the terminating zero
    return out;
}

std::optional<std::string> fromBase64(std::string_view text) {
    std::string out(text.size() / 4 * 3 + 3, '\0');
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(),
                          text.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size()) {
        return std::nullopt;
    }
    out.resize(length);
    return out;
}

} // namespace platform
