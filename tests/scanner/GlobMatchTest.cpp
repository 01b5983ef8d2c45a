#include "scanner/GlobMatch.h"

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
