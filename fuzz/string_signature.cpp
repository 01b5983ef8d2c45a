// Fuzzes the text side of the pattern lists (hexadecimal patterns, "HEX:name:size" entries) and the
// search for the built-in patterns, each against a plain model.

#include "FuzzCheck.h"
#include "engine/PatternSet.h"
#include "engine/StringSignature.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace StringSignature;

int hexValue(char c) {
    const std::string_view digits = "0123456789abcdef";
    const char lower = c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
    const std::size_t at = digits.find(lower);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

/// Pairs of digits give a byte, a pair with anything else gives 0, a lone last digit its value.
std::string modelHexToBytes(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = i + 1 < hex.size() ? hexValue(hex[i + 1]) : -2;
        if (low == -2) {
            bytes += static_cast<char>(high < 0 ? 0 : high);
        } else {
            bytes += static_cast<char>(high < 0 || low < 0 ? 0 : high * 16 + low);
        }
    }
    return bytes;
}

std::string toHex(std::string_view bytes, const char* digits) {
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return hex;
}

void checkHexToBytes(std::string_view text) {
    FUZZ_CHECK_EQ(HexToBytes(text), modelHexToBytes(text));
    // Any bytes survive being written as hexadecimal in either case.
    FUZZ_CHECK_EQ(HexToBytes(toHex(text, "0123456789ABCDEF")), text);
    FUZZ_CHECK_EQ(HexToBytes(toHex(text, "0123456789abcdef")), text);
}

/// The size field as a number: an optional minus and the decimal digits that follow; no digits,
/// or a number outside 32 bits, give 0.
std::int32_t modelSize(std::string_view text) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        ++i;
    }
    std::int64_t value = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        digits = true;
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{1} << 32) {
            return 0;
        }
    }
    value = negative ? -value : value;
    if (!digits || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return 0;
    }
    return static_cast<std::int32_t>(value);
}

void checkSplitEntry(std::string_view entry) {
    const EntryFields fields = SplitEntry(entry);
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < entry.size() && parts.size() < 2; ++i) {
        if (entry[i] == ':') {
            parts.push_back(entry.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(entry.substr(start));
    FUZZ_CHECK_EQ(fields.pattern, parts[0]);
    FUZZ_CHECK_EQ(fields.name, parts.size() > 1 ? parts[1] : std::string_view());
    FUZZ_CHECK_EQ(fields.size, parts.size() > 2 ? modelSize(parts[2]) : 0);
}

/// Bit i set for each entry whose pattern occurs in `data`.
PatternSet::Found modelFound(const std::vector<EntryFields>& entries, std::string_view data) {
    PatternSet::Found found = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (data.find(entries[i].pattern) != std::string_view::npos) {
            found |= PatternSet::Found{1} << i;
        }
    }
    return found;
}

std::vector<std::string> patternsOf(const std::vector<EntryFields>& entries) {
    std::vector<std::string> patterns;
    for (const auto& entry : entries) {
        patterns.push_back(entry.pattern);
    }
    return patterns;
}

std::optional<std::size_t> lowest(PatternSet::Found found) {
    for (std::size_t i = 0; i < 64; ++i) {
        if ((found >> i & 1u) != 0) {
            return i;
        }
    }
    return std::nullopt;
}

/// Every way of asking `set` must agree with the model: all patterns found, the lowest one found
/// when the search may stop early, and the lowest one on its own.
void checkSearch(const PatternSet& set, const std::vector<EntryFields>& entries,
                 std::string_view data) {
    const PatternSet::Found expected = modelFound(entries, data);
    PatternSet::Found found = 0;
    set.scan(data, found);
    FUZZ_CHECK_EQ(found, expected);
    PatternSet::Found firstOnly = 0;
    set.scan(data, firstOnly, true);
    FUZZ_CHECK_EQ(lowest(firstOnly), lowest(expected));
    FUZZ_CHECK_EQ(set.first(data), lowest(expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzzcheck::asText(data, size);
    checkHexToBytes(text);
    checkSplitEntry(text);

    static const PatternSet virusPortable(patternsOf(VirusEntries()),
                                          PatternSet::Backend::Portable);
    static const PatternSet packerPortable(patternsOf(PackerEntries()),
                                           PatternSet::Backend::Portable);
    static const PatternSet compilerPortable(patternsOf(CompilerEntries()),
                                             PatternSet::Backend::Portable);
    // The scanner's sets use the best backend this build has; the portable ones must agree.
    const std::string decoded = HexToBytes(text);
    for (const std::string_view bytes : {text, std::string_view(decoded)}) {
        checkSearch(VirusPatternSet(), VirusEntries(), bytes);
        checkSearch(virusPortable, VirusEntries(), bytes);
        checkSearch(PackerPatternSet(), PackerEntries(), bytes);
        checkSearch(packerPortable, PackerEntries(), bytes);
        checkSearch(CompilerPatternSet(), CompilerEntries(), bytes);
        checkSearch(compilerPortable, CompilerEntries(), bytes);

        const std::optional<std::size_t> first = lowest(modelFound(VirusEntries(), bytes));
        const std::optional<VirusMatch> match = FirstVirusPattern(bytes);
        FUZZ_CHECK_EQ(match.has_value(), first.has_value());
        if (match && first) {
            FUZZ_CHECK_EQ(match->name, VirusEntries()[*first].name);
            FUZZ_CHECK_EQ(match->size, VirusEntries()[*first].size);
        }
    }
    return 0;
}
