// Built with AVX2 enabled; reached only on processors that have it (see PatternFilterScan.h).
#include "engine/PatternFilterScan.h"

#include <immintrin.h>

namespace pattern_filter {
namespace {

/// The tables of one prefix byte, and the bucket bits its 32 bytes from `at` allow.
struct ByteTables {
    __m256i low;
    __m256i high;

    ByteTables(const std::uint8_t* lowTable, const std::uint8_t* highTable)
        : low(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(lowTable))),
          high(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(highTable))) {}

    __m256i allowedAt(const char* at) const {
        // A byte shuffle looks up within each 16-byte lane, where the tables repeat, but gives zero
        // for an index with bit 7 set; and the 16-bit shift brings the next byte's low bits into
        // the high nibble. Both indexes are therefore cut to four bits. The shift right by four is
        // the high half of a multiplication by 2^12: on processors whose shifts share a port with
        // the shuffles (AMD Zen), the multiplier's port is otherwise idle, and the loop runs about
        // a third faster; elsewhere both cost the same.
        const __m256i nibble = _mm256_set1_epi8(0x0F);
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        const __m256i lowNibbles = _mm256_and_si256(bytes, nibble);
        const __m256i shifted = _mm256_mulhi_epu16(bytes, _mm256_set1_epi16(1 << 12));
        const __m256i highNibbles = _mm256_and_si256(shifted, nibble);
        return _mm256_and_si256(_mm256_shuffle_epi8(low, lowNibbles),
                                _mm256_shuffle_epi8(high, highNibbles));
    }
};

/// 32 positions at a time.
class Avx2 {
public:
    static constexpr std::size_t kWidth = 32;
    static constexpr bool kTestEach = true;

    Avx2(const std::uint8_t* low, const std::uint8_t* high) : m_tables(low, high) {}

    /// A bucket's bit is set where each of the three bytes from there has a low and a high nibble
    /// that some pattern of the bucket has there.
    __m256i bucketsAt(const char* at) const {
        return _mm256_and_si256(
            _mm256_and_si256(m_tables.first.allowedAt(at), m_tables.second.allowedAt(at + 1)),
            m_tables.third.allowedAt(at + 2));
    }

    static bool any(__m256i first, __m256i second) {
        const __m256i either = _mm256_or_si256(first, second);
        return _mm256_testz_si256(either, either) == 0;
    }

    static std::uint64_t passing(__m256i buckets) {
        const auto none = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(buckets, _mm256_setzero_si256())));
        return static_cast<std::uint32_t>(~none);
    }

    static void store(std::uint8_t* out, __m256i buckets) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), buckets);
    }

private:
    PrefixTables<ByteTables> m_tables;
};

} // namespace

std::size_t scan256(const Search& search) {
    return scanVectors<Avx2>(search);
}

} // namespace pattern_filter
