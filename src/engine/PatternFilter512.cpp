// Built with AVX-512BW and VBMI enabled; reached only on processors that have them (see
// PatternFilterScan.h).
#include "engine/PatternFilterScan.h"

#include <immintrin.h>

namespace pattern_filter {
namespace {

/// The tables of one prefix byte, and the bucket bits its 64 bytes from `at` allow.
struct ByteTables {
    __m512i low;
    __m512i high;

    ByteTables(const std::uint8_t* lowTable, const std::uint8_t* highTable)
        : low(_mm512_loadu_si512(lowTable)), high(_mm512_loadu_si512(highTable)) {}

    __m512i allowedAt(const char* at) const {
        // A byte lookup takes the index's low six bits, and the tables repeat every 16 entries,
        // so the bits above the nibble need no masking. (The zero-masking form with every lane
        // kept is the plain lookup; the plain form's intrinsic trips a false warning in GCC 12.)
        // The bytes are pinned to a register once loaded: otherwise the compiler loads them again
        // as the shift's operand, and then loads, not permutes, limit the loop (a quarter slower).
        __m512i bytes = _mm512_loadu_si512(at);
        __asm__("" : "+v"(bytes));
        return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, bytes, low) &
               _mm512_maskz_permutexvar_epi8(~__mmask64{0}, _mm512_srli_epi16(bytes, 4), high);
    }
};

/// 64 positions at a time.
class Avx512 {
public:
    static constexpr std::size_t kWidth = 64;
    static constexpr bool kTestEach = false;

    Avx512(const std::uint8_t* low, const std::uint8_t* high) : m_tables(low, high) {}

    /// A bucket's bit is set where each of the three bytes from there has a low and a high nibble
    /// that some pattern of the bucket has there.
    __m512i bucketsAt(const char* at) const {
        return _mm512_ternarylogic_epi32(m_tables.first.allowedAt(at),
                                         m_tables.second.allowedAt(at + 1),
                                         m_tables.third.allowedAt(at + 2), 0x80); // all three
    }

    static bool any(__m512i first, __m512i second) {
        const __m512i either = _mm512_or_si512(first, second);
        return _mm512_test_epi8_mask(either, either) != 0;
    }

    static std::uint64_t passing(__m512i buckets) {
        return _mm512_test_epi8_mask(buckets, buckets);
    }

    static void store(std::uint8_t* out, __m512i buckets) { _mm512_storeu_si512(out, buckets); }

private:
    PrefixTables<ByteTables> m_tables;
};

} // namespace

std::size_t scan512(const Search& search) {
    return scanVectors<Avx512>(search);
}

} // namespace pattern_filter
