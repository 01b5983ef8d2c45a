#include "engine/PatternFilter.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KESTO_PATTERN_FILTER 1
#include <immintrin.h>
#endif

namespace {

/// The search gives up on a stretch of this many vectors when more positions than that got
/// through the filter: comparing more than one position per 64 bytes costs more than a search
/// that does not compare position by position.
constexpr std::size_t kDenseStretch = 1024;

} // namespace

PatternFilter::PatternFilter(const std::vector<std::string>& patterns) : m_patterns(patterns) {
    // Patterns with the same first bytes share a bucket, so that they add nothing to what the
    // bucket lets through; the others go round the buckets.
    std::vector<std::size_t> bucketOf(m_patterns.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < m_patterns.size(); ++i) {
        const std::string_view prefix = std::string_view(m_patterns[i]).substr(0, kPrefix);
        const auto twin = std::find_if(
            m_patterns.begin(), m_patterns.begin() + i,
            [&](const std::string& earlier) { return earlier.compare(0, kPrefix, prefix) == 0; });
        bucketOf[i] = twin != m_patterns.begin() + i
                          ? bucketOf[static_cast<std::size_t>(twin - m_patterns.begin())]
                          : next++ % kBuckets;
        m_members[bucketOf[i]].push_back(i);
        const auto bit = static_cast<std::uint8_t>(1u << bucketOf[i]);
        for (std::size_t j = 0; j < kPrefix; ++j) {
            const auto byte = static_cast<unsigned char>(m_patterns[i][j]);
            for (std::size_t lane = 0; lane < 64; lane += 16) {
                m_low[j][lane + (byte & 0x0Fu)] |= bit;
                m_high[j][lane + (byte >> 4)] |= bit;
            }
        }
    }
}

std::unique_ptr<PatternFilter> PatternFilter::create(const std::vector<std::string>& patterns) {
#ifdef KESTO_PATTERN_FILTER
    if (patterns.empty() || patterns.size() > kMaxPatterns ||
        std::any_of(patterns.begin(), patterns.end(),
                    [](const std::string& pattern) { return pattern.size() < kPrefix; }) ||
        !__builtin_cpu_supports("avx512bw") || !__builtin_cpu_supports("avx512vbmi")) {
        return nullptr;
    }
    return std::make_unique<PatternFilter>(patterns);
#else
    (void)patterns;
    return nullptr;
#endif
}

bool PatternFilter::verify(std::string_view data, std::size_t position, unsigned buckets,
                           Found& found, bool firstOnly) const {
    while (buckets != 0) {
        const auto bucket = static_cast<std::size_t>(__builtin_ctz(buckets));
        buckets &= buckets - 1;
        for (const std::size_t index : m_members[bucket]) {
            const Found bit = Found{1} << index;
            const std::string& pattern = m_patterns[index];
            if ((found & bit) == 0 && pattern.size() <= data.size() - position &&
                std::memcmp(data.data() + position, pattern.data(), pattern.size()) == 0) {
                found |= bit;
                if (firstOnly && index == 0) {
                    return true;
                }
            }
        }
    }
    return false;
}

std::size_t PatternFilter::scan(std::string_view data, Found& found, bool firstOnly) const {
    return scanVectors(data, found, firstOnly);
}

#ifdef KESTO_PATTERN_FILTER

namespace {

/// The tables of one prefix byte, and the bucket bits its 64 bytes from `at` allow.
struct ByteTables {
    __m512i low;
    __m512i high;

    __attribute__((target("avx512bw,avx512vbmi"))) __m512i allowedAt(const char* at) const {
        // A byte lookup takes the index's low six bits, and the tables repeat every 16 entries,
        // so the bits above the nibble need no masking. (The zero-masking form with every lane
        // kept is the plain lookup; the plain form's intrinsic trips a false warning in GCC 12.)
        const __m512i bytes = _mm512_loadu_si512(at);
        return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, bytes, low) &
               _mm512_maskz_permutexvar_epi8(~__mmask64{0}, _mm512_srli_epi16(bytes, 4), high);
    }
};

/// Bucket bits of the 64 positions that start at `at`: a bucket's bit is set where each of the
/// three bytes from there has a low and a high nibble that some pattern of the bucket has there.
__attribute__((target("avx512bw,avx512vbmi"))) inline __m512i bucketsAt(const char* at,
                                                                        const ByteTables& first,
                                                                        const ByteTables& second,
                                                                        const ByteTables& third) {
    return _mm512_ternarylogic_epi32(first.allowedAt(at), second.allowedAt(at + 1),
                                     third.allowedAt(at + 2), 0x80); // all three
}

} // namespace

__attribute__((target("avx512bw,avx512vbmi"))) std::size_t
PatternFilter::scanVectors(std::string_view data, Found& found, bool firstOnly) const {
    static_assert(kPrefix == 3);
    const auto tablesOf = [this](std::size_t j) __attribute__((target("avx512bw,avx512vbmi"))) {
        return ByteTables{_mm512_load_si512(m_low[j].data()), _mm512_load_si512(m_high[j].data())};
    };
    const ByteTables first = tablesOf(0);
    const ByteTables second = tablesOf(1);
    const ByteTables third = tablesOf(2);
    // Positions whose buckets are set are compared; `base` is the data offset of the vector.
    std::size_t passed = 0;
    alignas(64) std::uint8_t bits[64];
    const auto compareSet = [&](std::uint64_t positions, std::size_t base) {
        while (positions != 0) {
            const auto k = static_cast<std::size_t>(__builtin_ctzll(positions));
            positions &= positions - 1;
            ++passed;
            if (verify(data, base + k, bits[k], found, firstOnly)) {
                return true;
            }
        }
        return false;
    };

    const std::size_t size = data.size();
    std::size_t offset = 0;
    std::size_t stretchStart = 0;
    // Whole vectors whose three-byte windows all lie in the data.
    while (offset + 64 + kPrefix - 1 <= size) {
        const __m512i buckets = bucketsAt(data.data() + offset, first, second, third);
        const std::uint64_t positions = _mm512_test_epi8_mask(buckets, buckets);
        if (positions != 0) {
            _mm512_store_si512(bits, buckets);
            if (compareSet(positions, offset)) {
                return size;
            }
        }
        offset += 64;
        if (offset - stretchStart == 64 * kDenseStretch) {
            if (passed > kDenseStretch) {
                return offset;
            }
            passed = 0;
            stretchStart = offset;
        }
    }
    // The last positions, from a zero-padded copy; the comparison reads the data itself, and only
    // positions inside the data are compared.
    alignas(64) char tail[192] = {};
    const std::size_t rest = size - offset;
    std::memcpy(tail, data.data() + offset, rest);
    for (std::size_t at = 0; at < rest; at += 64) {
        const __m512i buckets = bucketsAt(tail + at, first, second, third);
        std::uint64_t positions = _mm512_test_epi8_mask(buckets, buckets);
        if (rest - at < 64) {
            positions &= (std::uint64_t{1} << (rest - at)) - 1;
        }
        if (positions != 0) {
            _mm512_store_si512(bits, buckets);
            if (compareSet(positions, offset + at)) {
                return size;
            }
        }
    }
    return size;
}

#else

std::size_t PatternFilter::scanVectors(std::string_view, Found&, bool) const {
    return 0; // never built: create() returns null without the vector instructions
}

#endif
