#pragma once

#include <optional>
#include <string>
#include <vector>

/// The parsed arguments of `kesto`. Options may stand before or after the command; "--" ends them.
struct CommandLine {
    std::string command;
    std::vector<std::string> operands;
    std::optional<std::string> database;
    std::optional<std::string> quarantineDir;
    std::optional<std::string> to; ///< `quarantine restore NAME --to DIR`
    bool help = false;
    bool version = false;
    bool clean = false;
    bool quarantine = false;
    bool json = false;
    bool quiet = false;
    /// `scan`: globs of file and folder names to pass over (each option may be repeated), the
    /// file the report is appended to, and only the detection lines without the summary.
    std::vector<std::string> excludes;
    std::vector<std::string> excludeDirs;
    std::optional<std::string> log;
    bool noSummary = false;
    /// `scan`: read every file, neither using nor filling the verdict cache.
    bool noCache = false;
    /// `scan`, `guard`, `signatures`: signature sources (hash lists, YARA rules, or folders of
    /// them) beside the usual folders (each option may be repeated); the largest file that is
    /// hashed and that the rules look at; the seconds the rules may take over one file.
    std::vector<std::string> signatures;
    std::optional<std::string> maxHashSize;
    std::optional<std::string> maxYaraSize;
    std::optional<std::string> yaraTimeout;
    /// `scan`, `cache`: the verdict cache's folder instead of the user's own.
    std::optional<std::string> cacheDir;
    /// `guard`: the paths watched (each option may be repeated), what becomes of a listed file
    /// that was written ("report" or "quarantine"), the seconds an exec waits at most for its
    /// check, whether an exec whose check did not end in time is denied, and the folder of the
    /// status file (`guard status` too).
    std::vector<std::string> watch;
    std::optional<std::string> onDetection;
    std::optional<std::string> deadline;
    bool failClosed = false;
    std::optional<std::string> stateDir;
    /// `update`: go back to the previous signature set, the folder the sets are installed in
    /// instead of /var/lib/kesto, and the folder of the trusted public keys instead of
    /// /etc/kesto/trusted-keys.
    bool rollback = false;
    std::optional<std::string> installRoot;
    std::optional<std::string> trustedKeys;
};

/// Throws UsageError for unknown options and missing option values.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

struct UsageError {
    std::string message;
};

std::string usageText();
std::string versionText();
