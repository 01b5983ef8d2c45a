#include "engine/StringSignature.h"

#include "engine/PatternSet.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/UnreadableFile.h"

#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <system_error>

namespace {

using namespace std::string_literals;
using namespace StringSignature;

struct ListCase {
    const char* what;
    std::string (*entry)(std::uint16_t);
    std::uint16_t endIndex;
    std::uint16_t room;
    std::string_view firstName;
    std::string_view end;
    friend void PrintTo(const ListCase& list, std::ostream* out) { *out << list.what; }
};

class EntryLists : public ::testing::TestWithParam<ListCase> {};

TEST_P(EntryLists, IndexesRunFromOneToTheEndEntryWithinTheRoom) {
    const ListCase& list = GetParam();
    EXPECT_EQ(list.entry(0), "");
    EXPECT_EQ(SplitEntry(list.entry(1)).name, list.firstName);
    EXPECT_EQ(list.entry(list.endIndex), list.end);
    EXPECT_EQ(list.entry(list.endIndex + 1), "");
    EXPECT_EQ(list.entry(list.room), "");
    EXPECT_THROW(list.entry(list.room + 1), std::out_of_range);
    EXPECT_THROW(list.entry(65535), std::out_of_range);
    for (std::uint16_t index = 1; index < list.endIndex; ++index) {
        const EntryFields fields = SplitEntry(list.entry(index));
        EXPECT_EQ(fields.pattern.size() % 2, 0u) << index;
        EXPECT_EQ(fields.pattern.find_first_not_of("0123456789abcdefABCDEF"), std::string::npos);
        EXPECT_NE(fields.name, "") << index;
    }
}

INSTANTIATE_TEST_SUITE_P(
    StringSignature, EntryLists,
    ::testing::Values(ListCase{"Virus", PatternEntry, 15, 1000, "w32.service", kVirusListEnd},
                      ListCase{"Packer", PackerEntry, 5, 100, "MEW", kListEnd},
                      ListCase{"Compiler", CompilerEntry, 4, 100, "MS Visual Basic 6.0", kListEnd}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(StringSignature, HexToBytes) {
    const struct {
        std::string_view hex;
        std::string bytes;
    } cases[] = {
        {"4d45", "ME"},   {"4D45", "ME"},   {"", ""},         {"00ff", "\0\xFF"s}, {"4", "\x04"},
        {"4d4", "M\x04"}, {"zz41", "\0A"s}, {"4g41", "\0A"s}, {"x", "\0"s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HexToBytes(c.hex), c.bytes) << c.hex;
    }
}

/// The pattern check written out the slow way: each entry in index order, one search per entry.
std::optional<VirusMatch> walkVirusList(const std::string& path) {
    for (std::uint16_t index = 1; PatternEntry(index) != kVirusListEnd; ++index) {
        const EntryFields fields = SplitEntry(PatternEntry(index));
        if (!FileContainsPattern(path, HexToBytes(fields.pattern), fields.name).empty()) {
            return VirusMatch{fields.name, fields.size};
        }
    }
    return std::nullopt;
}

TEST(StringSignature, LowestIndexWinsWhateverComesFirstInTheFile) {
    const testsupport::TempDir dir;
    const std::string noise = testsupport::noise(3000, 4);
    const auto& entries = VirusEntries();
    const struct {
        std::string content;
        std::optional<VirusMatch> match;
    } cases[] = {
        {noise + "Wshshell=Wscript" + noise, VirusMatch{"VBSKode", 1954}},
        {"Wshshell" + noise, VirusMatch{"VBSKode", 230}},
        {noise + entries[4].pattern + noise + entries[1].pattern, VirusMatch{"w32.Burmecia", 100}},
        {"wscript.exe", VirusMatch{"VBSkode", 2000}},
        {noise + entries[13].pattern, VirusMatch{"Suspect level (6)", 2224128}},
        {noise + "WSHSHELL=WSCRIPT" + noise, std::nullopt},
        {noise, std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file("sample.exe");
        testsupport::writeFile(path, c.content);
        EXPECT_EQ(FirstVirusPattern(c.content), c.match);
        EXPECT_EQ(FirstVirusPatternInFile(path), c.match);
        EXPECT_EQ(walkVirusList(path), c.match);
    }
}

// Files are searched in 4 MiB windows; a pattern must be found wherever it lies across the seam.
TEST(StringSignature, PatternAcrossTheReadWindowIsFound) {
    const testsupport::TempDir dir;
    const std::string path = dir.file("big.exe");
    const std::size_t seam = std::size_t{4} << 20;
    const EntryFields& entry = VirusEntries()[0];
    const std::size_t length = entry.pattern.size();
    const std::string base = testsupport::noise(seam + 4096, 6);
    const PatternSet portable({entry.pattern}, PatternSet::Backend::Portable);
    for (const std::size_t offset :
         {std::size_t{0}, seam - length, seam - length + 1, seam - 1, seam, base.size() - length}) {
        std::string content = base;
        content.replace(offset, length, entry.pattern);
        testsupport::writeFile(path, content);
        SCOPED_TRACE(testing::Message() << "offset " << offset);
        EXPECT_EQ(FileContainsPattern(path, entry.pattern, entry.name), entry.name);
        EXPECT_EQ(FirstVirusPatternInFile(path), (VirusMatch{entry.name, entry.size}));
        EXPECT_EQ(portable.firstInFile(path), std::optional<std::size_t>(0));
    }
    // All but the last byte across the seam is no match.
    std::string content = base;
    content.replace(seam - length + 2, length - 1, entry.pattern.substr(0, length - 1));
    testsupport::writeFile(path, content);
    EXPECT_EQ(FileContainsPattern(path, entry.pattern, entry.name), "");
    EXPECT_EQ(FirstVirusPatternInFile(path), std::nullopt);
}

// Reading stops early only for the first entry; a later window may still hold a better match.
TEST(StringSignature, LowerIndexInALaterWindowStillWins) {
    const testsupport::TempDir dir;
    const std::string path = dir.file("big.exe");
    std::string content = testsupport::noise((std::size_t{9} << 20) + 100, 7);
    content.replace(100, 8, "Wshshell");
    content.replace(std::size_t{8} << 20, VirusEntries()[1].pattern.size(),
                    VirusEntries()[1].pattern);
    content.replace(200, 6, "UPX!\x0c\x09"s);
    content.replace((std::size_t{8} << 20) + 4096, 6, "\0\0\0MEW"s);
    testsupport::writeFile(path, content);
    EXPECT_EQ(FirstVirusPatternInFile(path), (VirusMatch{"w32.Burmecia", 100}));
    EXPECT_EQ(PackerPatternSet().firstInFile(path), std::optional<std::size_t>(0));
}

TEST(StringSignature, UnreadableFileThrows) {
    const testsupport::TempDir dir;
    const testsupport::UnreadableFile unreadable(dir.file("pipe"));
    for (const std::string& path : {dir.file("missing"), dir.path(), dir.file("pipe")}) {
        EXPECT_THROW(FileContainsPattern(path, "MZ", "name"), std::system_error) << path;
        EXPECT_THROW(FirstVirusPatternInFile(path), std::system_error) << path;
    }
}

/// Bit i set when pattern i occurs in `data`, found the plain way.
PatternSet::Found naiveScan(const std::vector<std::string>& patterns, const std::string& data) {
    PatternSet::Found found = 0;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (data.find(patterns[i]) != std::string::npos) {
            found |= PatternSet::Found{1} << i;
        }
    }
    return found;
}

/// The backends of one pattern list: the widest and the 256-bit vector filter (where the
/// processor has them) in front of Hyperscan, Hyperscan alone (where built), and the portable
/// search.
struct Backends {
    explicit Backends(const std::vector<std::string>& list)
        : best(list, PatternSet::Backend::Best), filter256(list, PatternSet::Backend::Filter256),
          hyperscan(list, PatternSet::Backend::Hyperscan),
          portable(list, PatternSet::Backend::Portable) {}
    PatternSet best;
    PatternSet filter256;
    PatternSet hyperscan;
    PatternSet portable;
};

void expectBackendsAgree(const std::vector<std::string>& patterns, const std::string& data,
                         const Backends& backends) {
    const PatternSet::Found expected = naiveScan(patterns, data);
    for (const PatternSet* set :
         {&backends.best, &backends.filter256, &backends.hyperscan, &backends.portable}) {
        SCOPED_TRACE(set->backendName());
        PatternSet::Found found = 0;
        set->scan(data, found);
        ASSERT_EQ(found, expected);
        ASSERT_EQ(set->first(data), lowestFound(expected));
    }
}

TEST(PatternSet, BackendsAgreeOnPlantedVirusPatterns) {
    std::vector<std::string> patterns;
    for (const auto& entry : VirusEntries()) {
        patterns.push_back(entry.pattern);
    }
    const Backends backends(patterns);
    std::mt19937 generator(2024);
    std::uniform_int_distribution<std::size_t> size(0, 20'000);
    std::bernoulli_distribution plant(0.25);
    for (std::uint32_t round = 0; round < 300; ++round) {
        std::string data = testsupport::randomBytes(size(generator), round);
        for (const auto& pattern : patterns) {
            if (data.size() < pattern.size() || !plant(generator)) {
                continue;
            }
            // Sometimes only a prefix, which must not count.
            const std::size_t length = plant(generator) ? pattern.size() - 1 : pattern.size();
            std::uniform_int_distribution<std::size_t> offset(0, data.size() - length);
            data.replace(offset(generator), length, pattern.substr(0, length));
        }
        SCOPED_TRACE(testing::Message() << "round " << round);
        expectBackendsAgree(patterns, data, backends);
        const auto first = lowestFound(naiveScan(patterns, data));
        const auto& entries = VirusEntries();
        EXPECT_EQ(FirstVirusPattern(data),
                  first ? std::optional(VirusMatch{entries[*first].name, entries[*first].size})
                        : std::nullopt);
    }
}

// Short patterns over two letters overlap, nest and repeat everywhere; in long data nearly every
// position passes the vector filter, which then hands the rest of the data on.
TEST(PatternSet, BackendsAgreeOnDenselyOverlappingPatterns) {
    std::mt19937 generator(77);
    std::uniform_int_distribution<int> letter(0, 1);
    const auto word = [&](std::size_t length) {
        std::string text(length, 'a');
        for (char& c : text) {
            c = letter(generator) != 0 ? 'b' : 'a';
        }
        return text;
    };
    std::uniform_int_distribution<std::size_t> patternLength(3, 12);
    std::uniform_int_distribution<std::size_t> shortData(0, 200);
    std::uniform_int_distribution<std::size_t> longData(60'000, 140'000);
    for (int set = 0; set < 20; ++set) {
        std::vector<std::string> patterns;
        for (int i = 0; i < (set % 2 == 0 ? 24 : 12); ++i) {
            patterns.push_back(word(patternLength(generator)));
        }
        const Backends backends(patterns);
        for (int round = 0; round < 50; ++round) {
            SCOPED_TRACE(testing::Message() << "set " << set << ", round " << round);
            expectBackendsAgree(
                patterns, word(round < 48 ? shortData(generator) : longData(generator)), backends);
        }
    }
}

TEST(PatternSet, RejectsEmptyPatternsAndTooManyPatterns) {
    EXPECT_THROW(PatternSet({"a", ""}), std::invalid_argument);
    EXPECT_THROW(PatternSet(std::vector<std::string>(PatternSet::kMaxPatterns + 1, "x")),
                 std::invalid_argument);
    const PatternSet full(std::vector<std::string>(PatternSet::kMaxPatterns, "x"));
    PatternSet::Found found = 0;
    full.scan("x", found);
    EXPECT_EQ(found, ~PatternSet::Found{0});
}

} // namespace
