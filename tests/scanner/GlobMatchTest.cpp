#include "scanner/GlobMatch.h"

#include "scanner/Exclusions.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

#if __has_include(<fnmatch.h>)
#include <fnmatch.h>
#define KESTO_TEST_HAS_FNMATCH 1
#endif

namespace {

struct GlobCase {
    const char* glob;
    const char* text;
    bool pathName;
    bool matches;
};

// What POSIX fnmatch answers in the "C" locale; on Linux the test checks that it still does.
constexpr GlobCase kCases[] = {
    {"*.tmp", "a.tmp", false, true},
    {"*.tmp", "a.tmp.bak", false, false},
    {"*", "", false, true},
    {"?", "", false, false},
    {"a?c", "abc", false, true},
    {"a*b*c", "axxbyybzc", false, true},
    {"a*b*c", "axxbyybz", false, false},
    {"*a*a*a", "aaa", false, true},
    {"[abc]x", "bx", false, true},
    {"[!abc]x", "bx", false, false},
    {"[^abc]x", "dx", false, true},
    {"[a-c]", "d", false, false},
    {"[a-]", "-", false, true},
    {"[]]", "]", false, true},
    {"[!]]", "a", false, true},
    {"[[:digit:]][[:upper:]]", "7Q", false, true},
    {"[[:digit:]]", "x", false, false},
    {"[ab", "[ab", false, true}, // an unclosed set is plain text
    {"\\*", "*", false, true},
    {"\\*", "a", false, false},
    {"[\\]]", "]", false, true},
    {"cache/*.tmp", "cache/a.tmp", true, true},
    {"cache/*.tmp", "cache/sub/a.tmp", true, false},
    {"cache/*.tmp", "cache/sub/a.tmp", false, true},
    {"*/*", "a/b/c", true, false},
    {"*/*/*", "a/b/c", true, true},
    {"a?b", "a/b", true, false},
    {"a[/]b", "a/b", true, false},
    {"a[!x]b", "a/b", true, false},
    {"a[!x]b", "a/b", false, true},
    {"*", "a/b", true, false},
    {"*x/*y", "aax/by", true, true},
    {"*x/*y", "aax/b/y", true, false},
};

TEST(GlobMatch, AnswersAsShellGlobsDo) {
    for (const GlobCase& c : kCases) {
        EXPECT_EQ(GlobMatches(c.glob, c.text, c.pathName), c.matches)
            << "'" << c.glob << "' on '" << c.text << "', names " << c.pathName;
#ifdef KESTO_TEST_HAS_FNMATCH
        EXPECT_EQ(::fnmatch(c.glob, c.text, c.pathName ? FNM_PATHNAME : 0) == 0, c.matches)
            << "the table disagrees with fnmatch: '" << c.glob << "' on '" << c.text << "'";
#endif
    }
}

TEST(GlobMatch, QuestionMarkTakesOneWholeCharacter) {
    EXPECT_TRUE(GlobMatches("d?c",
                            "d\xc3\xa9"
                            "c",
                            false));                      // U+00E9 is two bytes
    EXPECT_TRUE(GlobMatches("?", "\xe5\x90\x8d", false)); // a three-byte character
    EXPECT_FALSE(GlobMatches("??", "\xe5\x90\x8d", false));
    EXPECT_TRUE(GlobMatches("*\xe5\x90\x8d?", "x\xe5\x90\x8d\xe5\x89\x8d", true));
}

TEST(GlobMatch, SetsAndQuestionMarksTakeUtf8Characters) {
    const std::string cafe = "caf\xc3\xa9"; // "café", its last character two bytes
    EXPECT_TRUE(GlobMatches("caf?", cafe, false));
    EXPECT_TRUE(GlobMatches("caf[\xc3\xa9]", cafe, false));
    EXPECT_TRUE(GlobMatches("caf[\xc3\xa0-\xc3\xbc]", cafe, false)); // [à-ü]
    EXPECT_TRUE(GlobMatches("caf[!e]", cafe, false));
    EXPECT_FALSE(GlobMatches("caf[!\xc3\xa9]", cafe, false));
    EXPECT_FALSE(GlobMatches("caf[^\xc3\xa0-\xc3\xbc]", cafe, false));
    EXPECT_FALSE(GlobMatches("caf[\xc3]", cafe, false)); // half a character is no character
    EXPECT_FALSE(GlobMatches("caf??", cafe, false));
    EXPECT_FALSE(GlobMatches("caf[[:alpha:]]", cafe, false)); // classes are ASCII
    EXPECT_TRUE(GlobMatches("*[\xe5\x90\x8d]/?", "x\xe5\x90\x8d/\xc3\xa9", true));
    EXPECT_FALSE(GlobMatches("*[\xe5\x90\x8d]/?", "x\xe5\x90\x8d/\xc3\xa9\xc3\xa9", true));

    // A byte outside well-formed UTF-8 is one character, equal only to itself: "\xff" is not
    // U+00FF ("\xc3\xbf"), an overlong "\xc1\xa9" is two characters, a cut-off sequence one.
    EXPECT_TRUE(GlobMatches("caf?", "caf\xff", false));
    EXPECT_TRUE(GlobMatches("caf?", "caf\xc3", false));
    EXPECT_TRUE(GlobMatches("??", "\xc3\xa9\xa9", false));
    EXPECT_TRUE(GlobMatches("??", "\xc1\xa9", false));
    EXPECT_TRUE(GlobMatches("???", "\xed\xa0\x80", false)); // an encoded surrogate: three
    EXPECT_TRUE(GlobMatches("[\xff]", "\xff", false));
    EXPECT_FALSE(GlobMatches("[\xff]", "\xc3\xbf", false));
    EXPECT_FALSE(GlobMatches("\xc3\xbf", "\xff", false));
    EXPECT_TRUE(GlobMatches("*\xff", "a\xc3\xa9\xff", false));
}

TEST(GlobMatch, ExclusionsMatchNonAsciiNamesOnEverySystem) {
    Exclusions exclusions;
    exclusions.addFileGlob("caf?");
    exclusions.addFolderGlob("caf[\xc3\xa9]");
    exclusions.addFileGlob("docs/r\xc3\xa9sum?.*");
    EXPECT_TRUE(exclusions.excludesFile("", "caf\xc3\xa9"));
    EXPECT_TRUE(exclusions.excludesFolder("a/", "caf\xc3\xa9"));
    EXPECT_FALSE(exclusions.excludesFolder("a/", "cafe"));
    EXPECT_TRUE(exclusions.excludesFile("docs/", "r\xc3\xa9sum\xc3\xa9.pdf"));
    EXPECT_FALSE(exclusions.excludesFile("docs/", "r\xc3\xa9sum\xc3\xa9\xc3\xa9.pdf"));
}

TEST(GlobMatch, WorkGrowsWithGlobTimesNameNeverFaster) {
    // Globs that make a backtracking matcher try every split, or re-read a long unclosed set
    // at every character: the work stays within a small multiple of glob × name.
    const std::string name(255, 'a');
    std::string stars;
    while (stars.size() < 100000) {
        stars += "*a";
    }
    const std::vector<std::string> globs = {
        stars + "b", std::string(100000, '['), "*[" + std::string(99998, 'b'),
        "*[" + std::string(99997, 'b') + "]b", std::string(50000, '?') + '*'};
    for (const std::string& glob : globs) {
        for (const bool pathName : {false, true}) {
            std::size_t steps = 0;
            EXPECT_FALSE(GlobPattern(glob, pathName, &steps).matches(name, &steps));
            EXPECT_LE(steps, 2 * (glob.size() + 1) * (name.size() + 1))
                << glob.substr(0, 8) << "... of " << glob.size() << " bytes";
        }
    }
    std::size_t steps = 0;
    EXPECT_TRUE(GlobPattern(stars, false, &steps).matches(std::string(60000, 'a'), &steps));
    EXPECT_LE(steps, 4 * (stars.size() + 1) * 10);
}

#ifdef KESTO_TEST_HAS_FNMATCH
TEST(GlobMatch, AgreesWithFnmatchOnRandomGlobs) {
    // Few letters and many special characters, so that stars, sets and separators meet often.
    constexpr std::string_view kGlobBytes = "ab/*?[]!-\\";
    constexpr std::string_view kTextBytes = "ab/-]";
    std::mt19937 random(20261209);
    for (int round = 0; round < 20000; ++round) {
        std::string glob(random() % 7, 'a');
        for (char& c : glob) {
            c = kGlobBytes[random() % kGlobBytes.size()];
        }
        std::string text(random() % 7, 'a');
        for (char& c : text) {
            c = kTextBytes[random() % kTextBytes.size()];
        }
        for (const bool pathName : {false, true}) {
            // Left out: a glob ending in a lone '\', on which C libraries disagree, and a quoted
            // '/', which glibc never lets follow a '*' when names are matched one by one.
            if (glob.ends_with('\\') || glob.find("\\/") != std::string::npos) {
                continue;
            }
            const bool expected =
                ::fnmatch(glob.c_str(), text.c_str(), pathName ? FNM_PATHNAME : 0) == 0;
            ASSERT_EQ(GlobMatches(glob, text, pathName), expected)
                << "'" << glob << "' on '" << text << "', names " << pathName;
        }
    }
}
#endif

} // namespace
