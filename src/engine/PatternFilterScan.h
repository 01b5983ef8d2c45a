#pragma once

// The vector loop of PatternFilter, written once for every vector width. Each width is built in a
// file of its own, compiled for its instruction set, and reached only after `PatternFilter::create`
// checked that the processor has it. So that no code for a wider instruction set can stand in for
// code the rest of the program shares, those files hold nothing with external linkage but their
// entry point: the loop is instantiated only with vector types of an anonymous namespace, no
// standard library templates are used, and the exact comparison is called back through a plain
// function pointer.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pattern_filter {

/// Bytes of a pattern the vector lookup tests: positions are compared only where all three match.
constexpr std::size_t kPrefix = 3;
/// Bytes of one nibble table: 16 entries (one bit per bucket) repeated in every 16-byte lane.
constexpr std::size_t kTableBytes = 64;

/// One search: the data, the nibble tables of each prefix byte, and the exact comparison.
struct Search {
    const char* data;
    std::size_t size;
    const std::uint8_t* low;  ///< kPrefix tables, by the low nibble of each byte
    const std::uint8_t* high; ///< kPrefix tables, by the high nibble of each byte
    /// Compares the patterns of the buckets set in `buckets` at `position`; true when the search
    /// may end.
    bool (*compare)(void* context, std::size_t position, unsigned buckets);
    void* context;
};

/// The search with 256-bit vectors (AVX2) and with 512-bit vectors (AVX-512BW and VBMI). Each
/// returns where it stopped, as PatternFilter::scan.
std::size_t scan256(const Search& search);
std::size_t scan512(const Search& search);

/// The tables of the kPrefix bytes, for a `ByteTables` type that loads those of one byte.
template <class ByteTables> struct PrefixTables {
    static_assert(kPrefix == 3);
    PrefixTables(const std::uint8_t* low, const std::uint8_t* high)
        : first(low, high), second(low + kTableBytes, high + kTableBytes),
          third(low + 2 * kTableBytes, high + 2 * kTableBytes) {}
    ByteTables first;
    ByteTables second;
    ByteTables third;
};

/// A stretch of this many bytes is handed on when more than kDensePositions positions in it got
/// through the filter: comparing more than one position per 64 bytes costs more than a search that
/// does not compare position by position.
constexpr std::size_t kDenseStretch = 64 * 1024;
constexpr std::size_t kDensePositions = 1024;

/// The offset of the first pair of vectors from `offset`, stepping two vectors at a time while both
/// lie before `end`, in which any position has a bucket set; or the offset where the pairs ran out.
/// Kept out of line and free of calls, so that the tables stay in registers for the whole loop
/// (vector registers do not survive a call, and the comparison is one).
template <class Vector>
[[gnu::noinline]] std::size_t skipQuietPairs(const Search& search, std::size_t offset,
                                             std::size_t end) {
    constexpr std::size_t kWidth = Vector::kWidth;
    const Vector vector(search.low, search.high);
    const char* const data = search.data;
    for (; offset + kWidth < end; offset += 2 * kWidth) {
        if constexpr (Vector::kTestEach) {
            const auto first = vector.bucketsAt(data + offset);
            if (Vector::any(first, first)) {
                break;
            }
            const auto second = vector.bucketsAt(data + offset + kWidth);
            if (Vector::any(second, second)) {
                break;
            }
        } else if (Vector::any(vector.bucketsAt(data + offset),
                               vector.bucketsAt(data + offset + kWidth))) {
            break;
        }
    }
    return offset;
}

/// The search with `Vector`, which loads the tables once and, for the `Vector::kWidth` positions
/// from a pointer, gives the bucket bits of each position (`bucketsAt`, reading kPrefix - 1 bytes
/// past them), whether two such results have any bucket set (`any`), the positions with any
/// bucket set (`passing`, bit k for position k) and the bucket bits as bytes (`store`).
/// `Vector::kTestEach` tests each vector's result on its own rather than a pair's at once, for
/// instruction sets with too few registers to hold the lookups of two vectors.
template <class Vector> std::size_t scanVectors(const Search& search) {
    constexpr std::size_t kWidth = Vector::kWidth;
    static_assert(kWidth <= 64 && kDenseStretch % kWidth == 0);
    const Vector vector(search.low, search.high);
    std::uint8_t bits[kWidth];
    std::size_t passed = 0;
    // Compares the positions set in `positions` of the vector at data offset `base`.
    const auto compareSet = [&](std::uint64_t positions, std::size_t base) {
        while (positions != 0) {
            const auto k = static_cast<std::size_t>(__builtin_ctzll(positions));
            positions &= positions - 1;
            ++passed;
            if (search.compare(search.context, base + k, bits[k])) {
                return true;
            }
        }
        return false;
    };

    // Compares the positions of the vector at data offset `base` that have any bucket set.
    const auto compareVector = [&](const auto& buckets, std::size_t base) {
        const std::uint64_t positions = Vector::passing(buckets);
        if (positions == 0) {
            return false;
        }
        Vector::store(bits, buckets);
        return compareSet(positions, base);
    };

    const char* const data = search.data;
    const std::size_t size = search.size;
    // Vectors from offsets below this have all their three-byte windows in the data.
    const std::size_t wholeEnd = size >= kWidth + kPrefix - 1 ? size - kWidth - kPrefix + 2 : 0;
    std::size_t offset = 0;
    while (offset < wholeEnd) {
        // One stretch at a time, two vectors a step, so that the loop does little besides the
        // lookups: nearly every pair has no position set at all, and the few that have are
        // compared here, outside the loop.
        const std::size_t stretchStart = offset;
        const std::size_t stretchEnd =
            wholeEnd - stretchStart < kDenseStretch ? wholeEnd : stretchStart + kDenseStretch;
        passed = 0;
        for (;;) {
            offset = skipQuietPairs<Vector>(search, offset, stretchEnd);
            if (offset + kWidth >= stretchEnd) {
                break;
            }
            if (compareVector(vector.bucketsAt(data + offset), offset) ||
                compareVector(vector.bucketsAt(data + offset + kWidth), offset + kWidth)) {
                return size;
            }
            offset += 2 * kWidth;
        }
        if (offset < stretchEnd) {
            if (compareVector(vector.bucketsAt(data + offset), offset)) {
                return size;
            }
            offset += kWidth;
        }
        if (offset - stretchStart == kDenseStretch && passed > kDensePositions) {
            return offset;
        }
    }
    // The last positions (at most kWidth + kPrefix - 2), from a zero-padded copy; the comparison
    // reads the data itself, and only positions inside the data are compared.
    char tail[3 * kWidth] = {};
    const std::size_t rest = size - offset;
    std::memcpy(tail, data + offset, rest);
    for (std::size_t at = 0; at < rest; at += kWidth) {
        const auto buckets = vector.bucketsAt(tail + at);
        std::uint64_t positions = Vector::passing(buckets);
        if (rest - at < kWidth) {
            positions &= (std::uint64_t{1} << (rest - at)) - 1;
        }
        if (positions != 0) {
            Vector::store(bits, buckets);
            if (compareSet(positions, offset + at)) {
                return size;
            }
        }
    }
    return size;
}

} // namespace pattern_filter
