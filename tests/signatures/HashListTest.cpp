#include "signatures/HashList.h"

#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using platform::HashKind;

namespace {

/// An entry with its name copied out of the parser's line.
struct Seen {
    HashKind kind;
    std::string hex;
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
    return {entry.kind,       platform::digestHex(entry.kind, entry.digest),
            entry.size,       std::string(entry.name),
            entry.lineOffset, entry.lineNumber};
}

/// Parses `text` given in pieces of the sizes `pieceSize` returns in turn.
template <typename PieceSize> Parsed parse(std::string_view text, PieceSize pieceSize) {
    Parsed parsed;
    HashListParser parser("list",
                          [&](const HashEntry& entry) { parsed.entries.push_back(seen(entry)); });
    while (!text.empty()) {
        const std::size_t piece = std::min(text.size(), pieceSize());
        parser.feed(text.substr(0, piece));
        text.remove_prefix(piece);
    }
    parser.finish();
    parsed.report = parser.report();
    return parsed;
}

Parsed parseWhole(std::string_view text) {
    return parse(text, [&] { return text.size(); });
}

const std::string kMd5 = "d41d8cd98f00b204e9800998ecf8427e";
const std::string kSha1 = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
const std::string kSha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

} // namespace

TEST(HashList, ReadsEachLineFormWithItsKindSizeNameAndPlace) {
    const std::string text = "# a comment\n" // 1
                             "\n"            // 2
                             + kSha256 +
                             ":68:Win.Trojan.Agent-1\n" // 3
                             "  " +
                             kSha1 +
                             " : * : Spaced Name \r\n"                  // 4
                             "D41D8CD98F00B204E9800998ECF8427E\n"       // 5
                             "\t\r\n"                                   // 6
                             + kMd5 + ":18446744073709551615:Largest\n" // 7
                             + kSha256 + ":007:Unterminated";           // 8
    const Parsed parsed = parseWhole(text);
    const std::uint64_t line3 = 13; // after "# a comment\n" and "\n"
    const std::uint64_t line4 = line3 + 64 + 23;
    const std::uint64_t line5 = line4 + 2 + 40 + 21;
    const std::uint64_t line7 = line5 + 33 + 3;
    const std::uint64_t line8 = line7 + 32 + 30;
    const std::vector<Seen> expected = {
        {HashKind::Sha256, kSha256, 68, "Win.Trojan.Agent-1", line3, 3},
        {HashKind::Sha1, kSha1, std::nullopt, "Spaced Name", line4, 4},
        {HashKind::Md5, kMd5, std::nullopt, "list", line5, 5},
        {HashKind::Md5, kMd5, 18446744073709551615ULL, "Largest", line7, 7},
        {HashKind::Sha256, kSha256, 7, "Unterminated", line8, 8},
    };
    EXPECT_EQ(parsed.entries, expected);
    EXPECT_EQ(parsed.report.entries, 5);
    EXPECT_EQ(parsed.report.badLines, 0);

    // Each entry's line, read back from its offset, gives the same entry (the name is read back
    // this way when a file matches).
    for (const Seen& entry : parsed.entries) {
        std::string_view line = std::string_view(text).substr(entry.lineOffset);
        line = line.substr(0, line.find('\n'));
        const auto again = ParseHashLine(line, "list");
        ASSERT_TRUE(again.has_value()) << line;
        EXPECT_EQ(std::string(again->name), entry.name);
        EXPECT_EQ(platform::digestHex(again->kind, again->digest), entry.hex);
        EXPECT_EQ(again->size, entry.size);
    }
    EXPECT_FALSE(ParseHashLine("# " + kMd5, "list").has_value());
}

TEST(HashList, CountsEveryBadLineAndReadsOnAfterIt) {
    const std::string good = kMd5 + ":1:Good\n";
    const std::vector<std::string> bad = {
        kMd5.substr(1) + "\n",                 // 31 digits
        kSha1 + "0\n",                         // 41 digits
        "g" + kMd5.substr(1) + "\n",           // not hexadecimal
        kMd5 + ":-1:Name\n",                   // a sign
        kMd5 + ":12a:Name\n",                  // not a number
        kMd5 + ":18446744073709551616:Name\n", // past 64 bits
        kMd5 + "::Name\n",                     // no size
        kMd5 + ":1\n",                         // two fields
        kMd5 + ":1:Name:more\n",               // four fields
        kMd5 + ":1:\n",                        // no name
        kMd5 + ":1:Tab\tInside\n",             // a control byte in the name
        kMd5 + ":1:Esc\x1b\n",                 // another
        kMd5 + ":1:Lone\rCR\n",                // a CR that does not end the line
        std::string(kMd5 + ":1:Nul").append(1, '\0') + "x\n",
        std::string(1, '\0') + "\n",
        kMd5 + " " + kMd5 + "\n",                                  // two hashes
        kMd5 + ":1:" + std::string(kMaxHashLineBytes, 'n') + "\n", // too long
    };
    std::string text = good;
    for (const std::string& line : bad) {
        text += line + good;
    }
    const Parsed parsed = parseWhole(text);
    EXPECT_EQ(parsed.report.badLines, bad.size());
    EXPECT_EQ(parsed.report.entries, bad.size() + 1);
    EXPECT_EQ(parsed.entries.size(), bad.size() + 1);
    EXPECT_EQ(parsed.report.firstBadLines, (std::vector<std::uint64_t>{2, 4, 6, 8, 10}));
    for (std::size_t i = 0; i < parsed.entries.size(); ++i) {
        EXPECT_EQ(parsed.entries[i].name, "Good");
        EXPECT_EQ(parsed.entries[i].lineNumber, 2 * i + 1);
    }
}

TEST(HashList, TakesALineOfTheLongestLengthAndRefusesOneByteMore) {
    const std::string start = kSha256 + ":1:";
    const std::string longest = start + std::string(kMaxHashLineBytes - start.size(), 'n');
    EXPECT_TRUE(ParseHashLine(longest, "list").has_value());
    EXPECT_FALSE(ParseHashLine(longest + "n", "list").has_value());

    // Given in pieces the parser keeps a long line only up to the limit: a line of megabytes
    // without its end in sight is bad, and the lines after it are read.
    const std::string huge = kSha256 + ":1:" + std::string(8 << 20, 'x');
    const std::string text =
        longest + "\n" + huge + "\n" + longest + "n\n" + huge + "\r\n" + kMd5 + "\n" + huge;
    for (const std::size_t piece : {std::size_t{1000}, std::size_t{1} << 20}) {
        const Parsed parsed = parse(text, [&] { return piece; });
        EXPECT_EQ(parsed.report.entries, 2) << piece;
        EXPECT_EQ(parsed.report.firstBadLines, (std::vector<std::uint64_t>{2, 3, 4, 6})) << piece;
        ASSERT_EQ(parsed.entries.size(), 2);
        EXPECT_EQ(parsed.entries[1].lineNumber, 5);
        EXPECT_EQ(parsed.entries[1].lineOffset, text.find(kMd5 + "\n"));
    }
}

TEST(HashList, PiecesSplitAnywhereGiveTheSameEntriesAsTheWholeText) {
    std::string text = "# mixed kinds, duplicates, CR LF, bad lines, no final line feed\r\n";
    std::mt19937 random(29);
    for (int i = 0; i < 300; ++i) {
        switch (random() % 7) {
        case 0:
            text += kMd5 + ":" + std::to_string(random()) + ":Md5.Name-" + std::to_string(i) + "\n";
            break;
        case 1:
            text += kSha1 + ":*:Sha1 Name\r\n";
            break;
        case 2:
            text += kSha256 + "\n";
            break;
        case 3:
            text += "not a hash\n";
            break;
        case 4:
            text += std::string(random() % 6000, 'z') + "\n";
            break;
        case 5:
            text += "\n# comment\n";
            break;
        default:
            text += kSha256 + ":12:Dup\r\n";
            break;
        }
    }
    text += kSha256 + ":5:Last";

    const Parsed whole = parseWhole(text);
    ASSERT_GT(whole.entries.size(), 100);
    ASSERT_GT(whole.report.badLines, 20);
    const Parsed bytes = parse(text, [] { return std::size_t{1}; });
    EXPECT_EQ(bytes.entries, whole.entries);
    EXPECT_EQ(bytes.report.entries, whole.report.entries);
    EXPECT_EQ(bytes.report.badLines, whole.report.badLines);
    EXPECT_EQ(bytes.report.firstBadLines, whole.report.firstBadLines);
    for (int round = 0; round < 5; ++round) {
        const Parsed pieces = parse(text, [&] { return std::size_t{1} + random() % 9000; });
        EXPECT_EQ(pieces.entries, whole.entries) << round;
        EXPECT_EQ(pieces.report.badLines, whole.report.badLines) << round;
    }
}
