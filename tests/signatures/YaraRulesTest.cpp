#include "signatures/YaraRules.h"

#include "testsupport/TempDir.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using Outcome = YaraRules::Outcome;

struct Compiled {
    std::unique_ptr<YaraRules> rules;
    std::vector<YaraProblem> problems;
    std::vector<std::size_t> counts;
};

Compiled compile(const std::vector<YaraSourceText>& sources) {
    Compiled compiled;
    compiled.rules = YaraRules::Compile(sources, compiled.problems, compiled.counts);
    return compiled;
}

YaraRules::Result scan(const YaraRules& rules, std::string_view content,
                       std::string_view filepath = "/data/file.bin") {
    const std::size_t slash = filepath.rfind('/');
    const std::string_view filename = filepath.substr(slash + 1);
    const std::size_t dot = filename.rfind('.');
    const std::string_view extension =
        dot == std::string_view::npos ? std::string_view() : filename.substr(dot + 1);
    return rules.scan(content, {filename, filepath, extension}, 10);
}

/// "source/rule" of a match, "none", "timeout" or "failed: why", for readable comparisons.
std::string answer(const YaraRules::Result& result) {
    switch (result.outcome) {
    case Outcome::Matched:
        return std::to_string(result.source) + "/" + std::to_string(result.rule);
    case Outcome::NoMatch:
        return "none";
    case Outcome::TimedOut:
        return "timeout";
    case Outcome::Failed:
        return "failed: " + result.error;
    }
    return "?";
}

/// Rules of every kind a typical rule file holds, in one source.
const char* const kTypicalRules = R"(
rule text_string {
  strings:
    $a = "evil payload"
    $b = "second marker" wide
  condition:
    any of them
}
rule hex_with_wildcards {
  strings:
    $h = { 4D 5A ?? 00 [2-4] DE AD ( BE EF | CA FE ) }
  condition:
    $h at 0
}
rule small_file {
  condition:
    filesize > 0 and filesize < 16 and uint8(0) == 0x7A
}
rule by_extension {
  strings:
    $s = "macro"
  condition:
    extension == "docm" and $s
}
rule by_name_and_path {
  condition:
    filename == "drop.sh" and filepath matches /^\/tmp\//
}
)";

std::string wide(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

TEST(YaraRulesTest, TypicalRulesMatchWhatTheyDescribe) {
    const auto compiled = compile({{"/rules/typical.yar", kTypicalRules}});
    ASSERT_TRUE(compiled.rules) << (compiled.problems.empty() ? "" : compiled.problems[0].message);
    EXPECT_TRUE(compiled.problems.empty());
    ASSERT_EQ(compiled.counts, std::vector<std::size_t>{5});
    const YaraRules& rules = *compiled.rules;

    const std::string padding(100, 'x');
    EXPECT_EQ(answer(scan(rules, padding + "evil payload" + padding)), "0/0");
    EXPECT_EQ(answer(scan(rules, padding + wide("second marker"))), "0/0");
    EXPECT_EQ(answer(scan(rules, padding + "evil paylod" + padding)), "none");

    // Wildcard byte, a jump of 2 to 4 bytes and an alternative, anchored at the start.
    using namespace std::string_literals;
    EXPECT_EQ(answer(scan(rules, "MZ\x90\0\1\2\xDE\xAD\xCA\xFE"s + padding)), "0/1");
    EXPECT_EQ(answer(scan(rules, "MZ\x90\0\1\2\3\4\xDE\xAD\xBE\xEF"s + padding)), "0/1");
    EXPECT_EQ(answer(scan(rules, "MZ\x90\0\1\xDE\xAD\xBE\xEF"s + padding)), "none"); // jump of 1
    EXPECT_EQ(answer(scan(rules, "MZ\x90\0\1\2\3\4\5\xDE\xAD\xBE\xEF"s + padding)),
              "none"); // jump of 5
    EXPECT_EQ(answer(scan(rules, "xMZ\x90\0\1\2\xDE\xAD\xCA\xFE"s + padding)), "none");

    EXPECT_EQ(answer(scan(rules, "zap")), "0/2");
    EXPECT_EQ(answer(scan(rules, "zap" + padding)), "none");
    EXPECT_EQ(answer(scan(rules, "")), "none");

    EXPECT_EQ(answer(scan(rules, padding + "macro", "/home/a/report.docm")), "0/3");
    EXPECT_EQ(answer(scan(rules, padding + "macro", "/home/a/report.docx")), "none");
    EXPECT_EQ(answer(scan(rules, padding + "macro", "/home/a/docm")), "none");

    EXPECT_EQ(answer(scan(rules, padding, "/tmp/x/drop.sh")), "0/4");
    EXPECT_EQ(answer(scan(rules, padding, "/home/x/drop.sh")), "none");
    // The variables of one scan do not stay for the next.
    EXPECT_EQ(answer(scan(rules, padding, "/tmp/x/other.sh")), "none");
}

TEST(YaraRulesTest, FirstMatchingRuleWinsInSourceThenRuleOrder) {
    const auto compiled = compile({
        {"/rules/a.yar", "rule a_never { condition: false }\n"
                         "rule a_marker { strings: $m = \"marker\" condition: $m }\n"},
        {"/rules/b.yar", "rule b_any { condition: true }\n"},
    });
    ASSERT_TRUE(compiled.rules);
    EXPECT_EQ(answer(scan(*compiled.rules, "a marker here")), "0/1");
    EXPECT_EQ(answer(scan(*compiled.rules, "nothing")), "1/0");
}

TEST(YaraRulesTest, CountsAndOffsetsStayExact) {
    // Scans stop looking for a string after its first hit only where no condition needs more.
    const auto compiled = compile({{"/rules/counts.yar", R"(
rule three_times { strings: $a = "abc" condition: #a == 3 }
rule second_at_ten { strings: $b = "xyz" condition: @b[2] == 10 }
)"}});
    ASSERT_TRUE(compiled.rules);
    EXPECT_EQ(answer(scan(*compiled.rules, "abc abc abc")), "0/0");
    EXPECT_EQ(answer(scan(*compiled.rules, "abc abc abc abc")), "none");
    EXPECT_EQ(answer(scan(*compiled.rules, "xyz.......xyz")), "0/1");
    EXPECT_EQ(answer(scan(*compiled.rules, "xyz........xyz")), "none");
}

TEST(YaraRulesTest, BrokenFileIsLeftOutAndNamedWhileTheOthersLoad) {
    const auto compiled = compile({
        {"/rules/good.yar", "rule good { strings: $g = \"good marker\" condition: $g }\n"},
        {"/rules/broken.yar", "rule fine_before { condition: false }\n"
                              "rule broken {\n"
                              "  strings:\n"
                              "    $a = \"x\"\n"
                              "  condition:\n"
                              "    $a and $undefined and\n"
                              "    true\n"
                              "}\n"},
        {"/rules/after.yar", "rule after { strings: $g = \"after marker\" condition: $g }\n"},
        {"/rules/syntax.yar", "rule {\n"},
    });
    ASSERT_TRUE(compiled.rules);
    EXPECT_EQ(compiled.counts, (std::vector<std::size_t>{1, 0, 1, 0}));
    ASSERT_EQ(compiled.problems.size(), 2U);
    EXPECT_EQ(compiled.problems[0].path, "/rules/broken.yar");
    EXPECT_EQ(compiled.problems[0].line, 6);
    EXPECT_EQ(compiled.problems[0].message.rfind("/rules/broken.yar:6: ", 0), 0U)
        << compiled.problems[0].message;
    EXPECT_NE(compiled.problems[0].message.find("$undefined"), std::string::npos)
        << compiled.problems[0].message;
    EXPECT_EQ(compiled.problems[1].path, "/rules/syntax.yar");
    EXPECT_EQ(compiled.problems[1].line, 1);

    EXPECT_EQ(answer(scan(*compiled.rules, "the good marker")), "0/0");
    EXPECT_EQ(answer(scan(*compiled.rules, "the after marker")), "2/0");
    EXPECT_EQ(compiled.rules->ruleCount(1), 0U);
    EXPECT_EQ(compiled.rules->ruleCount(2), 1U);
    EXPECT_EQ(compiled.rules->ruleCount(9), 0U);
}

TEST(YaraRulesTest, NothingCompiledGivesNoRules) {
    std::string withNul = "rule hidden { condition: true }";
    withNul.insert(5, 1, '\0');
    const auto compiled = compile({
        {"/rules/empty.yar", "// only a comment\n"},
        {"/rules/nul.yar", withNul},
        {"/rules/private.yar", "private rule helper { condition: true }\n"},
        {"/rules/bad.yar", "rule bad { condition: nonsense }\n"},
    });
    EXPECT_FALSE(compiled.rules);
    EXPECT_EQ(compiled.counts, (std::vector<std::size_t>{0, 0, 0, 0}));
    ASSERT_EQ(compiled.problems.size(), 2U);
    EXPECT_EQ(compiled.problems[0].path, "/rules/nul.yar");
    EXPECT_NE(compiled.problems[0].message.find("NUL"), std::string::npos);
    EXPECT_EQ(compiled.problems[1].path, "/rules/bad.yar");
}

TEST(YaraRulesTest, PrivateRulesServeOthersWithoutCounting) {
    const auto compiled = compile({{"/rules/private.yar", R"(
private rule has_marker { strings: $m = "marker" condition: $m }
rule small_with_marker { condition: has_marker and filesize < 100 }
)"}});
    ASSERT_TRUE(compiled.rules);
    EXPECT_EQ(compiled.counts, std::vector<std::size_t>{1});
    EXPECT_EQ(compiled.rules->threatName(0, 0), "small_with_marker");
    EXPECT_EQ(answer(scan(*compiled.rules, "marker")), "0/0");
    EXPECT_EQ(answer(scan(*compiled.rules, "marker" + std::string(100, ' '))), "none");
}

TEST(YaraRulesTest, SameRuleNamesInTwoFilesBothLoad) {
    const auto compiled = compile({
        {"/rules/one.yar", "rule Trojan_Gen { strings: $a = \"first\" condition: $a }\n"},
        {"/rules/two.yar", "rule Trojan_Gen { strings: $a = \"second\" condition: $a }\n"},
    });
    ASSERT_TRUE(compiled.rules);
    EXPECT_TRUE(compiled.problems.empty());
    EXPECT_EQ(compiled.counts, (std::vector<std::size_t>{1, 1}));
    EXPECT_EQ(answer(scan(*compiled.rules, "the second one")), "1/0");
    EXPECT_EQ(answer(scan(*compiled.rules, "the first one")), "0/0");
}

TEST(YaraRulesTest, IncludeIsRefused) {
    // The named file exists and would match everything: it must not be read.
    const testsupport::TempDir folder;
    const std::string included = folder.file("included.yar");
    std::ofstream(included) << "rule from_include { condition: true }\n";
    const auto compiled = compile({
        {"/rules/includer.yar", "include \"" + included + "\"\nrule own { condition: false }\n"},
        {"/rules/plain.yar", "rule plain { strings: $p = \"plain\" condition: $p }\n"},
    });
    ASSERT_TRUE(compiled.rules);
    EXPECT_EQ(compiled.counts, (std::vector<std::size_t>{0, 1}));
    ASSERT_EQ(compiled.problems.size(), 1U);
    EXPECT_EQ(compiled.problems[0].path, "/rules/includer.yar");
    EXPECT_EQ(compiled.problems[0].line, 1);
    EXPECT_NE(compiled.problems[0].message.find("include"), std::string::npos)
        << compiled.problems[0].message;
    EXPECT_EQ(answer(scan(*compiled.rules, "anything")), "none");
}

TEST(YaraRulesTest, ThreatNameAndDescriptionComeFromMeta) {
    const auto compiled = compile({{"/rules/meta.yar", R"(
rule with_threat {
  meta:
    malware = "Ignored.Malware"
    threat = "Win32.Threat.A"
    description = "Drops a backdoor"
  condition: false
}
rule with_malware {
  meta:
    threat = 7
    malware = "Linux.Miner"
  condition: false
}
rule plain_name {
  meta:
    description = ""
    author = "someone"
  condition: false
}
)"}});
    ASSERT_TRUE(compiled.rules);
    const YaraRules& rules = *compiled.rules;
    EXPECT_EQ(rules.threatName(0, 0), "Win32.Threat.A");
    EXPECT_EQ(rules.description(0, 0), "Drops a backdoor");
    EXPECT_EQ(rules.threatName(0, 1), "Linux.Miner");
    EXPECT_EQ(rules.description(0, 1), "");
    EXPECT_EQ(rules.threatName(0, 2), "plain_name");
    EXPECT_EQ(rules.description(0, 2), "");
}

TEST(YaraRulesTest, LongRunningRuleTimesOutAndTheScannerStaysUsable) {
    const auto compiled = compile({{"/rules/slow.yar", R"(
rule quick { strings: $q = "quick marker" condition: $q }
rule slow {
  condition:
    for any i in (0..filesize) : (for any j in (0..1000) : (uint8(i) == 256 + j))
}
)"}});
    ASSERT_TRUE(compiled.rules);
    const std::string content(4 << 20, 'a');
    const auto start = std::chrono::steady_clock::now();
    const auto result = compiled.rules->scan(content, {"big.bin", "/data/big.bin", "bin"}, 1);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(answer(result), "timeout");
    EXPECT_LT(seconds.count(), 10.0);
    // The same scanner serves the next file.
    EXPECT_EQ(answer(compiled.rules->scan("quick marker", {"a", "/a", ""}, 1)), "0/0");
}

TEST(YaraRulesTest, ConcurrentScansGiveTheSameAnswers) {
    const auto compiled = compile({
        {"/rules/typical.yar", kTypicalRules},
        {"/rules/more.yar", "rule marker_k { strings: $k = \"kkk\" condition: #k >= 2 }\n"},
    });
    ASSERT_TRUE(compiled.rules);
    using namespace std::string_literals;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"evil payload", "/x/a"},
        {"MZ\x90\0\1\2\xDE\xAD\xCA\xFE"s, "/x/b"},
        {"zap", "/x/c"},
        {"macro", "/x/d.docm"},
        {"", "/tmp/drop.sh"},
        {"kkk kkk", "/x/e"},
        {"kkk", "/x/f"},
        {std::string(5000, 'q') + "evil payload", "/x/g"},
        {std::string(100, 'n'), "/x/h"},
    };
    std::vector<std::string> expected;
    for (const auto& [content, path] : files) {
        expected.push_back(answer(scan(*compiled.rules, content, path)));
    }
    EXPECT_EQ(expected, (std::vector<std::string>{"0/0", "0/1", "0/2", "0/3", "0/4", "1/0", "none",
                                                  "0/0", "none"}));

    std::vector<std::vector<std::string>> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                const std::size_t i = (round + t) % files.size();
                const std::string got =
                    answer(scan(*compiled.rules, files[i].first, files[i].second));
                if (got != expected[i]) {
                    seen[t].push_back(files[i].second + ": " + got);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& wrong : seen) {
        EXPECT_TRUE(wrong.empty()) << wrong.front();
    }
}

} // namespace
