#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// One rule file as the loader read it: its path (for messages) and its whole text.
struct YaraSourceText {
    std::string path;
    std::string text;
};

/// Why a rule file was left out.
struct YaraProblem {
    std::string path;
    int line = 0; ///< 0 when the problem belongs to no line
    std::string message;
};

/// Rules in the YARA rule language, compiled once and then run over files' contents.
///
/// Every source is compiled in a namespace of its own, so that two files may name rules alike.
/// `include` directives are refused: a scan run by root must not read whatever file a rule file
/// names. The string variables `filename`, `filepath` and `extension` are defined for every rule
/// and set for each scanned file. Private rules only serve other rules: they never report a
/// match and are not counted.
class YaraRules {
public:
    /// The text every source gets as its problem in a build without libyara.
    static constexpr std::string_view kMissingLibrary =
        "YARA rules need libyara, which this build lacks";

    /// Whether this build can run YARA rules at all.
    static bool Available();
    /// Compiles every source. A source with an error is left out whole and reported (its file and
    /// the line of its first error; `message` reads "PATH:LINE: what is wrong"); the others still
    /// load. Warnings are accepted, as the rule language's own tools accept them. `ruleCounts[i]`
    /// is the number of rules source i contributes (0 when left out). Returns none when no rule
    /// compiled.
    static std::unique_ptr<YaraRules> Compile(const std::vector<YaraSourceText>& sources,
                                              std::vector<YaraProblem>& problems,
                                              std::vector<std::size_t>& ruleCounts);

    ~YaraRules();
    YaraRules(const YaraRules&) = delete;
    YaraRules& operator=(const YaraRules&) = delete;

    /// What the rules may ask about the scanned file. `extension` is without the dot, as the file
    /// has it.
    struct FileFacts {
        std::string_view filename;
        std::string_view filepath;
        std::string_view extension;
    };
    enum class Outcome { NoMatch, Matched, TimedOut, Failed };
    struct Result {
        Outcome outcome = Outcome::NoMatch;
        std::size_t source = 0; ///< the matching rule's source
        std::size_t rule = 0;   ///< ordinal of the rule within its source, from 0
        std::string error;      ///< what went wrong, when Failed
    };

    /// Runs every rule over `content` (the whole file, in memory the caller owns; never a mapping
    /// of a file that may shrink). The first matching rule, in source order and then rule order,
    /// wins. A scan that runs longer than `timeoutSeconds` (0: no limit) ends as TimedOut. Safe to
    /// call from several threads at once.
    Result scan(std::string_view content, const FileFacts& facts, int timeoutSeconds) const;

    /// The threat name of a rule: its meta `threat`, else its meta `malware`, else the rule's
    /// identifier.
    std::string threatName(std::size_t source, std::size_t rule) const;
    /// The rule's meta `description`; empty when it has none.
    std::string description(std::size_t source, std::size_t rule) const;
    /// The number of rules of a source (0 for a source left out or out of range).
    std::size_t ruleCount(std::size_t source) const;

private:
    struct Engine;
    explicit YaraRules(std::unique_ptr<Engine> engine);

    std::unique_ptr<Engine> m_engine;
};
