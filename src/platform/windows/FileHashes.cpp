#include "platform/FileHashes.h"

// windows.h first: bcrypt.h builds on its types.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

namespace platform {

namespace {

/// The algorithm providers, opened once for the whole process (opening one is slow) and shared
/// by every hasher, as CNG allows. None when this system does not offer it.
struct Providers {
    std::array<BCRYPT_ALG_HANDLE, kHashKindCount> handles{};

    Providers() {
        const std::array<LPCWSTR, kHashKindCount> names = {
            BCRYPT_MD5_ALGORITHM, BCRYPT_SHA1_ALGORITHM, BCRYPT_SHA256_ALGORITHM};
        for (std::size_t i = 0; i < kHashKindCount; ++i) {
            if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handles[i], names[i], nullptr, 0))) {
                handles[i] = nullptr;
            }
        }
    }
    ~Providers() {
        for (BCRYPT_ALG_HANDLE handle : handles) {
            if (handle != nullptr) {
                BCryptCloseAlgorithmProvider(handle, 0);
            }
        }
    }
    Providers(const Providers&) = delete;
    Providers& operator=(const Providers&) = delete;
};

BCRYPT_ALG_HANDLE provider(HashKind kind) {
    static const Providers kProviders;
    return kProviders.handles[static_cast<std::size_t>(kind)];
}

/// Each kind sees the bytes in pieces of this size in turn, so that a piece is still in the
/// processor's cache when the next kind reads it; it also fits BCryptHashData's ULONG length.
constexpr std::size_t kPiece = 64 * 1024;

} // namespace

struct MultiHasher::State {
    std::array<BCRYPT_HASH_HANDLE, kHashKindCount> hashes{};
    /// A kind whose update failed: it is left out of the digests.
    HashKinds failed = 0;

    ~State() {
        for (std::size_t i = 0; i < kHashKindCount; ++i) {
            close(i);
        }
    }

    void close(std::size_t i) {
        if (hashes[i] != nullptr) {
            BCryptDestroyHash(hashes[i]);
            hashes[i] = nullptr;
        }
    }

    bool start(HashKinds kinds) {
        failed = 0;
        for (std::size_t i = 0; i < kHashKindCount; ++i) {
            const auto kind = static_cast<HashKind>(i);
            if ((kinds & kindBit(kind)) == 0) {
                continue;
            }
            close(i);
            const BCRYPT_ALG_HANDLE algorithm = provider(kind);
            if (algorithm == nullptr || !BCRYPT_SUCCESS(BCryptCreateHash(
                                            algorithm, &hashes[i], nullptr, 0, nullptr, 0, 0))) {
                hashes[i] = nullptr;
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
                !BCRYPT_SUCCESS(BCryptHashData(
                    m_state->hashes[i], reinterpret_cast<PUCHAR>(const_cast<char*>(piece.data())),
                    static_cast<ULONG>(piece.size()), 0))) {
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
        if (BCRYPT_SUCCESS(BCryptFinishHash(m_state->hashes[i], digests.values[i].data(),
                                            static_cast<ULONG>(digestLength(kind)), 0)) &&
            (m_state->failed & kindBit(kind)) == 0) {
            digests.kinds |= kindBit(kind);
        } else {
            digests.values[i] = {};
        }
    }
    m_ready = m_state->start(m_kinds);
    return digests;
}

} // namespace platform
