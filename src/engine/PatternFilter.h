#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// A vector filter in front of an exact comparison, for a small set of literal patterns of at least
/// three bytes. Each pattern falls in one of eight buckets; for every position of the data, one
/// pass of vectors tells which buckets have a pattern whose first three bytes could start there
/// (nibble tables looked up with byte shuffles or permutes), and only those positions are compared
/// byte for byte. On random data that is a few positions per megabyte, so the search runs at about
/// the speed the processor reads memory.
///
/// It needs an x86-64 processor with 256-bit byte shuffles (AVX2) or 512-bit byte permutes
/// (AVX-512BW and VBMI); `create` returns null elsewhere.
class PatternFilter {
public:
    using Found = std::uint64_t;
    /// Sets larger than this are left to other searches: more patterns per bucket let through
    /// too many positions to compare.
    static constexpr std::size_t kMaxPatterns = 24;

    enum class Width {
        Widest,  ///< 512-bit vectors where the processor has them, else 256-bit ones
        Bits256, ///< AVX2
        Bits512  ///< AVX-512BW and VBMI
    };

    /// A filter for `patterns` with vectors of `width`, or null when the processor lacks the
    /// instructions, a pattern is shorter than three bytes, or there are more than kMaxPatterns.
    static std::unique_ptr<PatternFilter> create(const std::vector<std::string>& patterns,
                                                 Width width = Width::Widest);

    /// Bits per vector: 256 or 512.
    unsigned bits() const { return m_width == Width::Bits512 ? 512 : 256; }

    /// Adds to `found` bit i for each pattern i that starts at or after the data's start and
    /// before the returned offset (and lies wholly in the data). The offset is data.size() when
    /// the whole data was searched; it is less when the data lets through so many positions that
    /// comparing them one by one would be slow, and then the caller searches data.substr(offset)
    /// another way. With `firstOnly` the search ends, with data.size(), once pattern 0 is found.
    std::size_t scan(std::string_view data, Found& found, bool firstOnly) const;

private:
    static constexpr std::size_t kPrefix = 3;
    static constexpr std::size_t kBuckets = 8;
    static constexpr std::size_t kTableBytes = 64;

    /// `width` is one the processor has.
    PatternFilter(const std::vector<std::string>& patterns, Width width);

    /// Compares the patterns of the buckets in `buckets` at `position`; true when pattern 0 was
    /// found and the search may end.
    bool verify(std::string_view data, std::size_t position, unsigned buckets, Found& found,
                bool firstOnly) const;

    std::vector<std::string> m_patterns;
    Width m_width;
    std::array<std::vector<std::size_t>, kBuckets> m_members; ///< pattern indexes per bucket
    /// Per prefix byte, kTableBytes bytes: the buckets allowed by each low and each high nibble,
    /// 16 entries repeated in every 16-byte lane of the widest vector.
    alignas(64) std::array<std::uint8_t, kPrefix * kTableBytes> m_low{};
    alignas(64) std::array<std::uint8_t, kPrefix * kTableBytes> m_high{};
};
