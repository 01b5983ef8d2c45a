#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class PatternFilter;

/// A fixed list of literal byte patterns searched in one pass. Pattern i found anywhere in the
/// data sets bit i of the result; results never depend on the backend.
class PatternSet {
public:
    using Found = std::uint64_t;
    static constexpr std::size_t kMaxPatterns = 64;

    enum class Backend {
        Best,      ///< The widest vector filter where it applies, then the Hyperscan backend.
        Filter256, ///< The 256-bit vector filter where it applies, then the Hyperscan backend.
        Hyperscan, ///< Hyperscan where the build and the processor have it, else portable.
        Portable   ///< One byte search per pattern, on every platform.
    };

    /// Throws std::invalid_argument for an empty pattern or more than kMaxPatterns patterns.
    explicit PatternSet(std::vector<std::string> patterns, Backend backend = Backend::Best);
    ~PatternSet();
    PatternSet(const PatternSet&) = delete;
    PatternSet& operator=(const PatternSet&) = delete;

    std::size_t size() const { return m_patterns.size(); }
    std::string backendName() const;

    /// Patterns that occur in `data`, added to `found`. With `firstOnly` only the lowest index
    /// matters: the search may skip patterns that rank after one already found.
    void scan(std::string_view data, Found& found, bool firstOnly = false) const;

    /// Lowest index of a pattern that occurs in `data`.
    std::optional<std::size_t> first(std::string_view data) const;

    /// Lowest index of a pattern that occurs in the file, read once in blocks. Throws
    /// std::system_error when the file cannot be opened or read.
    std::optional<std::size_t> firstInFile(const std::string& path) const;

private:
    struct Hyperscan;
    std::vector<std::string> m_patterns;
    std::size_t m_longest = 0;
    std::unique_ptr<PatternFilter> m_filter;
    std::unique_ptr<Hyperscan> m_hyperscan;
};

/// Lowest set bit of `found`.
std::optional<std::size_t> lowestFound(PatternSet::Found found);
