#include "engine/Crc32.h"

#include <cstring>

#ifdef KESTO_HAVE_ISAL
#include <isa-l/crc.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace crc32 {

namespace {

constexpr int kSlices = 16;

constexpr std::array<std::array<std::uint32_t, 256>, kSlices> makeSlicedTables() {
    std::array<std::array<std::uint32_t, 256>, kSlices> tables{};
    tables[0] = kTable;
    for (int slice = 1; slice < kSlices; ++slice) {
        for (std::size_t n = 0; n < 256; ++n) {
            const std::uint32_t previous = tables[slice - 1][n];
            tables[slice][n] = (previous >> 8) ^ kTable[previous & 0xFFu];
        }
    }
    return tables;
}

constexpr auto kSliced = makeSlicedTables();

std::uint32_t load32le(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

const unsigned char* bytesOf(std::string_view data) {
    return reinterpret_cast<const unsigned char*>(data.data());
}

} // namespace

std::uint32_t updateBytewise(std::uint32_t reg, std::string_view data) {
    for (const unsigned char b : data) {
        reg = (reg >> 8) ^ kTable[(reg ^ b) & 0xFFu];
    }
    return reg;
}

std::uint32_t updateSliced(std::uint32_t reg, std::string_view data) {
    const unsigned char* p = bytesOf(data);
    std::size_t n = data.size();
    while (n >= 16) {
        const std::uint32_t a = load32le(p) ^ reg;
        const std::uint32_t b = load32le(p + 4);
        const std::uint32_t c = load32le(p + 8);
        const std::uint32_t d = load32le(p + 12);
        reg = kSliced[15][a & 0xFF] ^ kSliced[14][(a >> 8) & 0xFF] ^ kSliced[13][(a >> 16) & 0xFF] ^
              kSliced[12][a >> 24] ^ kSliced[11][b & 0xFF] ^ kSliced[10][(b >> 8) & 0xFF] ^
              kSliced[9][(b >> 16) & 0xFF] ^ kSliced[8][b >> 24] ^ kSliced[7][c & 0xFF] ^
              kSliced[6][(c >> 8) & 0xFF] ^ kSliced[5][(c >> 16) & 0xFF] ^ kSliced[4][c >> 24] ^
              kSliced[3][d & 0xFF] ^ kSliced[2][(d >> 8) & 0xFF] ^ kSliced[1][(d >> 16) & 0xFF] ^
              kSliced[0][d >> 24];
        p += 16;
        n -= 16;
    }
    return updateBytewise(reg, {reinterpret_cast<const char*>(p), n});
}

namespace {

/// The loop `update` used before the folding loop: the library where built, else slicing-by-16.
std::uint32_t updateLibrary(std::uint32_t reg, std::string_view data) {
#ifdef KESTO_HAVE_ISAL
    // ISA-L takes and returns the complemented register, as zlib's crc32 does.
    std::uint32_t crc = ~reg;
    // Its length parameter is 64-bit, so one call covers any buffer.
    crc = crc32_gzip_refl(crc, bytesOf(data), data.size());
    return ~crc;
#else
    return updateSliced(reg, data);
#endif
}

const char* libraryName() {
#ifdef KESTO_HAVE_ISAL
    return "ISA-L crc32_gzip_refl";
#else
    return "slicing-by-16";
#endif
}

#if defined(__x86_64__)

// Folding: a 128-bit lane holds 128 message bits, the first byte in its low end (reflected order,
// so the low 64 bits are the higher powers of x). Moving the lane d bits along the message means
// multiplying its low half by x^(d+64) and its high half by x^d modulo P; the constants carry
// x^(d+32) and x^(d-32) because the 33-bit reflected constant and the carry-less product of
// reflected operands add the missing powers. Both products fit in the lane again, and the next
// message lane d bits on is XORed in. Congruence modulo P is all the final remainder needs.

#define KESTO_FOLD_TARGET __attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1")))

constexpr std::size_t kLanes = 8;                    // ymm accumulators folded in parallel
constexpr std::size_t kLaneBytes = 32;               // bytes per ymm
constexpr std::size_t kStride = kLanes * kLaneBytes; // bytes per loop step
constexpr std::size_t kFoldMinimum = kStride;        // shorter buffers take the library loop

/// P reflected into 33 bits, x^32 included.
constexpr std::uint64_t kPolynomial33 = std::uint64_t{kReflectedPolynomial} << 1 | 1u;

/// Byte shuffles for the last partial block: read at offset n (or 16 + n), 16 entries move lane
/// bytes n places up (or down); 0x80 clears a byte and, for the blend, selects the new data.
constexpr std::array<unsigned char, 48> makeShiftTable() {
    std::array<unsigned char, 48> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = i >= 16 && i < 32 ? static_cast<unsigned char>(i - 16) : 0x80;
    }
    return table;
}

alignas(16) constexpr std::array<unsigned char, 48> kShiftTable = makeShiftTable();

/// The two multipliers for a distance of `Bytes`, in both 128-bit halves of a ymm register;
/// computed at compile time.
template <std::size_t Bytes> KESTO_FOLD_TARGET __m256i foldKeys256() {
    constexpr auto low = static_cast<long long>(foldConstant(Bytes * 8 + 32));
    constexpr auto high = static_cast<long long>(foldConstant(Bytes * 8 - 32));
    return _mm256_set_epi64x(high, low, high, low);
}

KESTO_FOLD_TARGET __m256i fold256(__m256i acc, __m256i next, __m256i keys) {
    const __m256i fromLow = _mm256_clmulepi64_epi128(acc, keys, 0x00);
    const __m256i fromHigh = _mm256_clmulepi64_epi128(acc, keys, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(fromLow, fromHigh), next);
}

KESTO_FOLD_TARGET __m128i fold128(__m128i acc, __m128i next, __m128i keys) {
    const __m128i fromLow = _mm_clmulepi64_si128(acc, keys, 0x00);
    const __m128i fromHigh = _mm_clmulepi64_si128(acc, keys, 0x11);
    return _mm_xor_si128(_mm_xor_si128(fromLow, fromHigh), next);
}

KESTO_FOLD_TARGET __m256i load256(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

KESTO_FOLD_TARGET __m128i load128(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

/// The register for a message congruent to the lane `x`: x * x^32 mod P.
KESTO_FOLD_TARGET std::uint32_t reduce128(__m128i x) {
    const __m128i keys = _mm_set_epi64x(static_cast<long long>(foldConstant(64)),
                                        static_cast<long long>(foldConstant(96)));
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    // Low half 64 bits on: v = x * x^64, within the lane's low 96 bits.
    const __m128i v = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, keys, 0x00));
    // Its first 32 bits 32 on: w = x * x^96 = z * x^64, z of 64 bits in the lane's low half.
    const __m128i w = _mm_xor_si128(_mm_srli_si128(v, 4),
                                    _mm_clmulepi64_si128(_mm_and_si128(v, low32), keys, 0x10));
    // Barrett: the quotient z / P from z's top 32 bits times floor(x^64 / P), then z + q * P
    // leaves z mod P in bits 32..63.
    const __m128i barrett = _mm_set_epi64x(static_cast<long long>(kPolynomial33),
                                           static_cast<long long>(barrettConstant()));
    const __m128i q = _mm_clmulepi64_si128(_mm_and_si128(w, low32), barrett, 0x00);
    const __m128i qp = _mm_clmulepi64_si128(_mm_and_si128(q, low32), barrett, 0x10);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(w, qp), 1));
}

/// Folds `n` >= kStride bytes down to one 128-bit lane and reduces that to the register.
KESTO_FOLD_TARGET std::uint32_t foldedLoop(std::uint32_t reg, const unsigned char* p,
                                           std::size_t n) {
    __m256i acc[kLanes];
#pragma GCC unroll 8
    for (std::size_t i = 0; i < kLanes; ++i) {
        acc[i] = load256(p + i * kLaneBytes);
    }
    // The register joins the message as its first 32 bits: CRC(R, M) = CRC(0, M ^ R).
    acc[0] =
        _mm256_xor_si256(acc[0], _mm256_setr_epi32(static_cast<int>(reg), 0, 0, 0, 0, 0, 0, 0));
    p += kStride;
    n -= kStride;

    const __m256i strideKeys = foldKeys256<kStride>();
    while (n >= kStride) {
#pragma GCC unroll 8
        for (std::size_t i = 0; i < kLanes; ++i) {
            acc[i] = fold256(acc[i], load256(p + i * kLaneBytes), strideKeys);
        }
        p += kStride;
        n -= kStride;
    }

    // Fold the accumulators pairwise onto the last one: lane i onto lane i + 4, then i + 2, i + 1.
    static_assert(kLanes == 8);
    const __m256i keys4 = foldKeys256<4 * kLaneBytes>();
    for (std::size_t i = 0; i < 4; ++i) {
        acc[i + 4] = fold256(acc[i], acc[i + 4], keys4);
    }
    const __m256i keys2 = foldKeys256<2 * kLaneBytes>();
    acc[6] = fold256(acc[4], acc[6], keys2);
    acc[7] = fold256(acc[5], acc[7], keys2);
    const __m256i keys1 = foldKeys256<kLaneBytes>();
    __m256i last = fold256(acc[6], acc[7], keys1);
    while (n >= kLaneBytes) {
        last = fold256(last, load256(p), keys1);
        p += kLaneBytes;
        n -= kLaneBytes;
    }

    const __m128i halfKeys = _mm256_castsi256_si128(foldKeys256<16>());
    __m128i x = fold128(_mm256_castsi256_si128(last), _mm256_extracti128_si256(last, 1), halfKeys);
    if (n >= 16) {
        x = fold128(x, load128(p), halfKeys);
        p += 16;
        n -= 16;
    }
    // The last 1..15 bytes T: what is left is x followed by T. The first n bytes of x, moved to the
    // end of an otherwise zero lane, fold 128 bits onto the 16 bytes after them: the rest of x
    // followed by T, where T is read with the bytes before it as the last 16 of the buffer.
    if (n > 0) {
        const __m128i up = load128(kShiftTable.data() + n);
        const __m128i down = load128(kShiftTable.data() + 16 + n);
        const __m128i head = _mm_shuffle_epi8(x, up);
        const __m128i rest = _mm_blendv_epi8(_mm_shuffle_epi8(x, down), load128(p + n - 16), down);
        x = fold128(head, rest, halfKeys);
    }
    return reduce128(x);
}

bool hasFolding() {
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("vpclmulqdq");
    }();
    return supported;
}

#undef KESTO_FOLD_TARGET

#endif // __x86_64__

} // namespace

std::uint32_t updateFolded256(std::uint32_t reg, std::string_view data) {
#if defined(__x86_64__)
    if (data.size() >= kFoldMinimum && hasFolding()) {
        return foldedLoop(reg, bytesOf(data), data.size());
    }
#endif
    return updateLibrary(reg, data);
}

std::uint32_t update(std::uint32_t reg, std::string_view data) {
    return updateFolded256(reg, data);
}

const char* backendName() {
#if defined(__x86_64__)
    if (hasFolding()) {
        return "VPCLMULQDQ 8 x 256-bit folding";
    }
#endif
    return libraryName();
}

} // namespace crc32
