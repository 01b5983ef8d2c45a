#include "signatures/YaraRules.h"

#include <gtest/gtest.h>

// Builds without libyara refuse every rule file and say why; no rule ever looks loaded.
TEST(YaraRulesMissingTest, EveryRuleFileIsRefusedWithTheReason) {
    EXPECT_FALSE(YaraRules::Available());
    std::vector<YaraProblem> problems;
    std::vector<std::size_t> counts;
    const auto rules = YaraRules::Compile({{"C:\\rules\\a.yar", "rule a { condition: true }"},
                                           {"C:\\rules\\b.yar", "rule b { condition: true }"}},
                                          problems, counts);
    EXPECT_FALSE(rules);
    EXPECT_EQ(counts, (std::vector<std::size_t>{0, 0}));
    ASSERT_EQ(problems.size(), 2U);
    EXPECT_EQ(problems[0].path, "C:\\rules\\a.yar");
    EXPECT_EQ(problems[1].path, "C:\\rules\\b.yar");
    EXPECT_EQ(problems[1].message,
              "C:\\rules\\b.yar: YARA rules need libyara, which this build lacks");
}
