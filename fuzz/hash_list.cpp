// Fuzzes hash lists: the input is a list given to the parser in pieces of varying sizes, which
// must read exactly what it reads from the whole text at once and what a plain line-by-line model
// reads; the entries then go into an index (under three source numbers), whose answers must
// match a search through every entry.

#include "FuzzCheck.h"
#include "signatures/HashIndex.h"
#include "signatures/HashList.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Seen {
    platform::HashKind kind;
    platform::Digest digest;
    std::optional<std::uint64_t> size;
    std::string name;
    std::uint64_t lineOffset;
    std::uint64_t lineNumber;

    bool operator==(const Seen&) const = default;
};

struct Parsed {
    std::vector<Seen> entries;
    HashListReport report;
};

Seen seen(const HashEntry& entry) {
    return {entry.kind,       entry.digest,    entry.size, std::string(entry.name),
            entry.lineOffset, entry.lineNumber};
}

/// Feeds `text` in pieces whose sizes come from a generator seeded by the input itself, so that
/// a saved input replays the same way.
Parsed parseInPieces(std::string_view text, std::uint64_t seed, std::size_t largest) {
    Parsed parsed;
    HashListParser parser("stem", [&](const HashEntry& e) { parsed.entries.push_back(seen(e)); });
    while (!text.empty()) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const std::size_t piece = std::min(text.size(), 1 + (seed >> 33) % largest);
        parser.feed(text.substr(0, piece));
        text.remove_prefix(piece);
    }
    parser.finish();
    parsed.report = parser.report();
    return parsed;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

/// The model: split at line feeds, each line read alone by ParseHashLine; a line that gives no
/// entry is bad unless it is blank or a comment once the CR and blanks are set aside.
Parsed parseByLines(std::string_view text) {
    Parsed parsed;
    std::uint64_t offset = 0;
    std::uint64_t number = 0;
    while (offset < text.size()) {
        const std::size_t end = std::min(text.find('\n', offset), text.size());
        std::string_view line = text.substr(offset, end - offset);
        ++number;
        const bool tooLong = line.size() > kMaxHashLineBytes;
        const auto entry = tooLong ? std::nullopt : ParseHashLine(line, "stem");
        if (entry) {
            Seen one = seen(*entry);
            one.lineOffset = offset;
            one.lineNumber = number;
            parsed.entries.push_back(one);
            ++parsed.report.entries;
        } else {
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            while (!line.empty() && isBlank(line.front())) {
                line.remove_prefix(1);
            }
            const bool skipped =
                std::all_of(line.begin(), line.end(), isBlank) || line.front() == '#';
            if (tooLong || !skipped) {
                ++parsed.report.badLines;
                if (parsed.report.firstBadLines.size() < kMaxReportedBadLines) {
                    parsed.report.firstBadLines.push_back(number);
                }
            }
        }
        offset = end + 1;
    }
    return parsed;
}

void checkSame(const Parsed& actual, const Parsed& expected) {
    FUZZ_CHECK_EQ(actual.entries.size(), expected.entries.size());
    FUZZ_CHECK(actual.entries == expected.entries);
    FUZZ_CHECK_EQ(actual.report.entries, expected.report.entries);
    FUZZ_CHECK_EQ(actual.report.badLines, expected.report.badLines);
    FUZZ_CHECK(actual.report.firstBadLines == expected.report.firstBadLines);
}

std::uint16_t sourceOf(const Seen& entry) {
    return static_cast<std::uint16_t>(1 + entry.lineNumber % 3);
}

std::uint64_t originOf(const Seen& entry) {
    return std::uint64_t{sourceOf(entry)} << 48 | entry.lineOffset;
}

/// The lowest origin among the entries matching a file of this kind, digest and size.
std::optional<std::uint64_t> modelFind(const std::vector<Seen>& entries, platform::HashKind kind,
                                       const platform::Digest& digest, std::uint64_t size) {
    std::optional<std::uint64_t> best;
    for (const Seen& entry : entries) {
        if (entry.kind == kind && entry.digest == digest && (!entry.size || *entry.size == size) &&
            (!best || originOf(entry) < *best)) {
            best = originOf(entry);
        }
    }
    return best;
}

platform::HashKinds modelKinds(const std::vector<Seen>& entries, std::uint64_t size,
                               std::uint64_t maxUnsized) {
    platform::HashKinds kinds = 0;
    for (const Seen& entry : entries) {
        if (entry.size ? *entry.size == size : size <= maxUnsized) {
            kinds |= platform::kindBit(entry.kind);
        }
    }
    return kinds;
}

void checkIndex(const std::vector<Seen>& entries) {
    HashIndex::Builder builder;
    for (const Seen& entry : entries) {
        HashEntry one;
        one.kind = entry.kind;
        one.digest = entry.digest;
        one.size = entry.size;
        one.lineOffset = entry.lineOffset;
        builder.add(one, sourceOf(entry));
    }
    const HashIndex index = std::move(builder).build();
    FUZZ_CHECK(index.entryCount() <= entries.size());
    FUZZ_CHECK_EQ(index.droppedEntries(), 0U);

    constexpr std::uint64_t kMaxUnsized = 1000;
    const std::size_t asked = std::min<std::size_t>(entries.size(), 64);
    for (std::size_t i = 0; i < asked; ++i) {
        const Seen& entry = entries[i];
        for (const std::uint64_t size :
             {entry.size.value_or(7), entry.size.value_or(7) + 1, std::uint64_t{0}}) {
            FUZZ_CHECK_EQ(index.kindsFor(size, kMaxUnsized),
                          modelKinds(entries, size, kMaxUnsized));
            platform::FileDigests digests;
            digests.kinds = platform::kindBit(entry.kind);
            digests.values[static_cast<std::size_t>(entry.kind)] = entry.digest;
            const auto found = index.find(digests, size);
            const auto expected = modelFind(entries, entry.kind, entry.digest, size);
            FUZZ_CHECK_EQ(found.has_value(), expected.has_value());
            if (found) {
                FUZZ_CHECK_EQ(std::uint64_t{found->source} << 48 | found->lineOffset, *expected);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzzcheck::asText(data, size);
    const Parsed whole = parseInPieces(text, 0, text.size() + 1);
    checkSame(whole, parseByLines(text));
    std::uint64_t seed = size;
    for (std::size_t i = 0; i < std::min<std::size_t>(size, 16); ++i) {
        seed = seed * 31 + data[i];
    }
    checkSame(parseInPieces(text, seed, 7), whole);
    checkSame(parseInPieces(text, seed + 1, 5000), whole);
    checkIndex(whole.entries);
    return 0;
}
