#include "platform/FileHashes.h"

#include <openssl/evp.h>

namespace platform {

namespace {

/// The algorithms, fetched once for the whole process: a fetch per file would look each one up
/// in libcrypto's provider tables again. None when this system's libcrypto does not offer it.
const EVP_MD* algorithm(HashKind kind) {
    static const std::array<EVP_MD*, kHashKindCount> kAlgorithms = {
        EVP_MD_fetch(nullptr, "MD5", nullptr),
        EVP_MD_fetch(nullptr, "SHA1", nullptr),
        EVP_MD_fetch(nullptr, "SHA256", nullptr),
    };
    return kAlgorithms[static_cast<std::size_t>(kind)];
}

/// Each kind sees the bytes in pieces of this size in turn, so that a piece is still in the
/// processor's cache when the next kind reads it.
constexpr std::size_t kPiece = 64 * 1024;

} // namespace

struct MultiHasher::State {
    std::array<EVP_MD_CTX*, kHashKindCount> contexts{};
    /// A kind whose update failed: it is left out of the digests.
    HashKinds failed = 0;

    ~State() {
        for (EVP_MD_CTX* context : contexts) {
            EVP_MD_CTX_free(context); // accepts null
        }
    }

    bool start(HashKinds kinds) {
        failed = 0;
        for (std::size_t i = 0; i < kHashKindCount; ++i) {
            const auto kind = static_cast<HashKind>(i);
            if ((kinds & kindBit(kind)) == 0) {
                continue;
            }
            const EVP_MD* md = algorithm(kind);
            if (md == nullptr) {
                return false;
            }
            if (contexts[i] == nullptr) {
                contexts[i] = EVP_MD_CTX_new();
            }
            if (contexts[i] == nullptr || EVP_DigestInit_ex2(contexts[i], md, nullptr) != 1) {
                return false;
            }
        }
        return true;
    }
};

MultiHasher::MultiHasher(HashKinds kinds)
    : m_kinds(static_cast<HashKinds>(kinds & kAllHashKinds)), m_state(std::make_unique<State>()) {
    m_ready = m_state->start(m_kinds);
}

MultiHasher::~MultiHasher() = default;

void MultiHasher::update(std::string_view bytes) {
    if (!m_ready) {
        return;
    }
    while (!bytes.empty()) {
        const std::string_view piece = bytes.substr(0, kPiece);
        for (std::size_t i = 0; i < kHashKindCount; ++i) {
            const HashKinds bit = kindBit(static_cast<HashKind>(i));
            if ((m_kinds & bit) != 0 &&
                EVP_DigestUpdate(m_state->contexts[i], piece.data(), piece.size()) != 1) {
                m_state->failed |= bit;
            }
        }
        bytes.remove_prefix(piece.size());
    }
}

FileDigests MultiHasher::finish() {
    FileDigests digests;
    for (std::size_t i = 0; m_ready && i < kHashKindCount; ++i) {
        const auto kind = static_cast<HashKind>(i);
        if ((m_kinds & kindBit(kind)) == 0) {
            continue;
        }
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(m_state->contexts[i], digests.values[i].data(), &length) == 1 &&
            length == digestLength(kind) && (m_state->failed & kindBit(kind)) == 0) {
            digests.kinds |= kindBit(kind);
        } else {
            digests.values[i] = {};
        }
    }
    m_ready = m_state->start(m_kinds);
    return digests;
}

} // namespace platform
