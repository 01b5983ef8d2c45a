#include "tools/AboutTexts.h"

#include "product/Product.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> crlfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back("<unterminated>" + text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

} // namespace

TEST(AboutTexts, CreditsAreTwentyTwoLinesEachEndingInCrLf) {
    const std::vector<std::string> expected = {
        "Kesto Virus Scanner",
        "Copyright (c) 2010 Kesto Team",
        std::string(43, '-'),
        "",
        "Programmer :",
        "Kesto Team",
        "",
        "Designer :",
        "Kesto Team",
        "",
        "Website :",
        "https://kesto-scanner.example.org",
        "",
        "Thanks to:",
        "All friends who supports and provide virus ",
        "samples to the development of this Virus ",
        "Scanner",
        "",
        "License :",
        " ",
        "",
        "(team@kesto-scanner.example.org)",
    };
    EXPECT_EQ(crlfLines(AboutTexts::CreditsText()), expected);
}

TEST(AboutTexts, VersionTableAndEngineFacts) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& row : Product::kVersionTable) {
        rows.emplace_back(row.caption, row.value);
    }
    EXPECT_EQ(rows, (std::vector<std::pair<std::string, std::string>>{
                        {"Version", "1.1.0"},
                        {"Build", "2"},
                        {"Update Version", "1.1"},
                        {"Engine Version", "1.0.0"},
                        {"Code Name Version", "Zedodu"},
                        {"Engine Code Name", "Zedodu Engine"}}));
    const auto facts = AboutTexts::EngineFacts();
    ASSERT_EQ(facts.size(), 2U);
    EXPECT_EQ(facts[0].first, "CRC-32");
    EXPECT_EQ(facts[1].first, "Pattern search");
    EXPECT_FALSE(facts[0].second.empty());
    EXPECT_FALSE(facts[1].second.empty());
}

TEST(AboutTexts, CreditsPassTheTopIn391TicksThenRestartBelow) {
    int top = AboutTexts::kCreditsStartTop;
    for (int tick = 1; tick <= 390; ++tick) {
        top = AboutTexts::NextCreditsTop(top);
        ASSERT_EQ(top, 2000 - 20 * tick);
    }
    EXPECT_EQ(top, -5800); // not yet below
    top = AboutTexts::NextCreditsTop(top);
    EXPECT_EQ(top, 2090);
    EXPECT_EQ(AboutTexts::NextCreditsTop(top), 2070);
    // From the restart the text runs 395 ticks before it starts again.
    int ticks = 0;
    do {
        top = AboutTexts::NextCreditsTop(top);
        ++ticks;
    } while (top != 2090 && ticks < 1000);
    EXPECT_EQ(ticks, 395);
}

TEST(AboutTexts, ReadMeMissingMessageNamesTheFolder) {
    EXPECT_EQ(AboutTexts::ReadMePath("/opt/kesto"), "/opt/kesto/ReadMe.txt");
    EXPECT_EQ(AboutTexts::ReadMeMissingText("/opt/kesto"),
              "Sorry, file /opt/kesto/ReadMe.txt Nothing found.\r\n"
              "Kesto Virus Scanner can not perform this command.\r\n"
              "Please download again https://kesto-scanner.example.org");
}
