#include "scanner/DisplayName.h"

#include "scanner/PrintableName.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

TEST(DisplayName, WritesWhatPrintableNameWritesForAsciiAndKeepsOtherText) {
    for (const char* name : {"plain.txt", "bad\nname.com", "tab\there\x7f", "back\\slash",
                             "a\\x0ab", "C:\\dir\\file.exe"}) {
        EXPECT_EQ(DisplayName(name), PrintableName(name)) << name;
    }
    EXPECT_EQ(DisplayName("bad\nname.com"), "bad\\x0aname.com");
    // Letters of any script, symbols and emoji are shown as they are.
    const std::string text = "caf\xC3\xA9 \xE6\x96\x87\xE4\xBB\xB6 \xE2\x80\xB0 \xF0\x9F\x98\x80";
    EXPECT_EQ(DisplayName(text), text);
}

TEST(DisplayName, BytesThatAreNotUtf8AreEscapedOneByOne) {
    EXPECT_EQ(DisplayName("inv\xFF\xFE.com"), "inv\\xff\\xfe.com");
    EXPECT_EQ(DisplayName("caf\xE9.txt"), "caf\\xe9.txt");
    EXPECT_EQ(DisplayName("\xC0\xAF"), "\\xc0\\xaf");                   // overlong "/"
    EXPECT_EQ(DisplayName("\xED\xA0\x80"), "\\xed\\xa0\\x80");          // a surrogate
    EXPECT_EQ(DisplayName("\xF4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80"); // above U+10FFFF
    EXPECT_EQ(DisplayName("ab\xE2\x80"), "ab\\xe2\\x80");               // cut short
    EXPECT_EQ(DisplayName("\x80\xC3\xA9"), "\\x80\xC3\xA9");            // a stray continuation byte
}

TEST(DisplayName, InvisibleAndReorderingCharactersAreWrittenAsCodePoints) {
    EXPECT_EQ(DisplayName("evil\xE2\x80\xAEtxt.exe"), "evil\\u202Etxt.exe");
    EXPECT_EQ(DisplayName("a\xE2\x80\x8B"
                          "b"),
              "a\\u200Bb"); // zero width space
    EXPECT_EQ(DisplayName("\xEF\xBB\xBFx"), "\\uFEFFx");
    EXPECT_EQ(DisplayName("line\xE2\x80\xA8two"), "line\\u2028two");
    EXPECT_EQ(DisplayName("nel\xC2\x85"), "nel\\u0085");
    EXPECT_EQ(DisplayName("soft\xC2\xAD"), "soft\\u00AD");
    EXPECT_EQ(DisplayName("iso\xE2\x81\xA6x"), "iso\\u2066x");
    EXPECT_EQ(DisplayName("tag\xF3\xA0\x81\x81"), "tag\\U000E0041");
}

TEST(DisplayName, DifferentNamesNeverLookTheSame) {
    std::vector<std::string> names = {"a\n",
                                      "a\xE2\x80\xAE",
                                      "a\xFF",
                                      "a\xC3\xBF",
                                      "ab",
                                      "a\xE2\x80\x8B"
                                      "b"};
#ifndef _WIN32
    // Elsewhere than on Windows a name may hold a backslash, which must not pass for an escape.
    for (const char* name : {"a\\x0a", "a\\\\x0a", "a\\u202E", "a\\xff"}) {
        names.emplace_back(name);
    }
#endif
    std::set<std::string> shown;
    for (const std::string& name : names) {
        shown.insert(DisplayName(name));
    }
    EXPECT_EQ(shown.size(), names.size());
}
