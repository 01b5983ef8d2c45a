// Fuzzes the minisign key and signature readers and the check, whose input comes from a network
// before anything is trusted. Whatever the input, reading gives a result or a reason, never both,
// and checking any signature read against a fixed key never crashes. The input also serves as a
// message: signed here with the fixed key in both of minisign's algorithms and written as a
// signature file, it must read back and verify, and a message one bit off must not.

#include "update/Minisign.h"

#include "FuzzCheck.h"
#include "platform/Digest.h"

#include <algorithm>
#include <sodium.h>
#include <string>

namespace {

struct KeyPair {
    MinisignKey key;
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secret{};
};

const KeyPair& fixedKey() {
    static const KeyPair pair = [] {
        KeyPair made;
        FUZZ_CHECK(sodium_init() >= 0);
        std::array<unsigned char, crypto_sign_SEEDBYTES> seed{};
        seed.fill(7);
        crypto_sign_seed_keypair(made.key.publicKey.data(), made.secret.data(), seed.data());
        made.key.keyId = {1, 2, 3, 4, 5, 6, 7, 8};
        return made;
    }();
    return pair;
}

std::string bytes(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

std::string signedBy(std::string_view message, const KeyPair& pair) {
    std::array<unsigned char, crypto_sign_BYTES> signature{};
    crypto_sign_detached(signature.data(), nullptr,
                         reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                         pair.secret.data());
    return bytes(signature.data(), signature.size());
}

/// A signature file of `message` by the fixed key, as minisign writes one.
std::string signatureFile(std::string_view message, bool prehashed, const std::string& comment) {
    const KeyPair& pair = fixedKey();
    std::string signed_(message);
    if (prehashed) {
        std::array<unsigned char, crypto_generichash_BYTES_MAX> hash{};
        crypto_generichash(hash.data(), hash.size(),
                           reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                           nullptr, 0);
        signed_ = bytes(hash.data(), hash.size());
    }
    const std::string signature = signedBy(signed_, pair);
    const std::string line = std::string(prehashed ? "ED" : "Ed") +
                             bytes(pair.key.keyId.data(), pair.key.keyId.size()) + signature;
    return "untrusted comment: fuzz\n" + platform::toBase64(line) +
           "\ntrusted comment: " + comment + "\n" +
           platform::toBase64(signedBy(signature + comment, pair)) + "\n";
}

void checkReaders(std::string_view text) {
    std::string error;
    const std::optional<MinisignKey> key = ParseMinisignKey(text, error);
    FUZZ_CHECK(key.has_value() == error.empty());
    const std::optional<MinisignSignature> signature = ParseMinisignSignature(text, error);
    FUZZ_CHECK(signature.has_value() == error.empty());
    if (signature) {
        // Made with another key or none, it must not verify.
        FUZZ_CHECK(!VerifyMinisign(text, *signature, {fixedKey().key}).empty());
        FUZZ_CHECK(signature->trustedComment.find('\n') == std::string::npos);
    }
}

void checkSigned(std::string_view message) {
    // The trusted comment is one line: the input up to its first line break, without a final CR.
    std::string comment(message.substr(0, std::min<std::size_t>(message.size(), 200)));
    comment = comment.substr(0, comment.find('\n'));
    while (!comment.empty() && comment.back() == '\r') {
        comment.pop_back();
    }
    for (const bool prehashed : {true, false}) {
        std::string error;
        const std::optional<MinisignSignature> signature =
            ParseMinisignSignature(signatureFile(message, prehashed, comment), error);
        FUZZ_CHECK(signature.has_value());
        FUZZ_CHECK_EQ(signature->prehashed, prehashed);
        FUZZ_CHECK_EQ(signature->trustedComment, comment);
        FUZZ_CHECK_EQ(VerifyMinisign(message, *signature, {fixedKey().key}), std::string());
        std::string changed(message);
        if (changed.empty()) {
            changed = "x";
        } else {
            changed[changed.size() / 2] ^= 1;
        }
        FUZZ_CHECK(!VerifyMinisign(changed, *signature, {fixedKey().key}).empty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzzcheck::asText(data, size);
    checkReaders(text);
    checkSigned(text);
    return 0;
}
