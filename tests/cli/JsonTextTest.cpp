#include "cli/JsonText.h"

#include <gtest/gtest.h>

TEST(JsonText, EscapesWhatJsonRequiresAndKeepsValidUtf8) {
    EXPECT_EQ(JsonString("plain"), "\"plain\"");
    EXPECT_EQ(JsonString("a\"b\\c\nd\te\r\x01\x7f"), R"("a\"b\\c\nd\te\r\u0001\u007f")");
    EXPECT_EQ(JsonString("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"),
              "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"");
}

TEST(JsonText, BytesOutsideUtf8BecomeLoneSurrogates) {
    EXPECT_EQ(JsonString("\xff"), R"("\udcff")");
    EXPECT_EQ(JsonString("a\xc3"), R"("a\udcc3")");                   // cut-off sequence
    EXPECT_EQ(JsonString("\xc0\xaf"), R"("\udcc0\udcaf")");           // overlong slash
    EXPECT_EQ(JsonString("\xed\xa0\x80"), R"("\udced\udca0\udc80")"); // encoded surrogate
    EXPECT_EQ(JsonString(std::string("\0x", 2)), R"("\u0000x")");
}

TEST(JsonText, PrintableNameKeepsOneFileOnOneLine) {
    EXPECT_EQ(PrintableName("new\nline\x1b"), "new\\x0aline\\x1b");
    EXPECT_EQ(PrintableName("caf\xc3\xa9\xff"), "caf\xc3\xa9\xff");
#ifdef _WIN32
    // '\' separates names and no name holds a control character: paths print as they are.
    EXPECT_EQ(PrintableName("C:\\dir\\x0aname"), "C:\\dir\\x0aname");
#else
    // A name that spells out an escape differs from the name that holds the character.
    EXPECT_EQ(PrintableName("new\\x0aline"), "new\\\\x0aline");
    EXPECT_NE(PrintableName("a\\x0ab"), PrintableName("a\nb"));
#endif
}
