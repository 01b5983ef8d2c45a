#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HashIndex;
class YaraRules;
class SignatureFile;

/// Where signature sources come from and how far they look into files.
struct SignatureOptions {
    /// Folders and files in the order their sources rank: the system's folder, the user's own,
    /// then those named on the command line. A missing folder among `folders` is passed over; a
    /// missing path among `paths` is a problem.
    std::vector<std::string> folders;
    std::vector<std::string> paths;
    /// Files larger than this are never hashed (hash lists) or searched (YARA rules).
    std::uint64_t maxHashSize = 64ull << 20;
    std::uint64_t maxYaraSize = 16ull << 20;
    /// The longest the YARA rules may take over one file; a file they do not finish in time is
    /// counted as not examined.
    int yaraTimeoutSeconds = 10;
};

/// One signature source as loaded: what it is, how many signatures it gave, and what was wrong.
struct SignatureSourceInfo {
    enum class Kind { HashList, YaraRules, Folder };
    std::string path;
    Kind kind = Kind::HashList;
    std::uint64_t count = 0; ///< hash entries or rules loaded from it
    /// What was wrong with it: bad lines (the others still count), or why it was left out.
    std::vector<std::string> problems;
    /// Whether it was left out whole (refused, unreadable, a rule that does not compile).
    bool refused = false;
};

/// What the extra sources say about one file's content.
struct ExtraVerdict {
    /// Whether the sources looked at the content at all (a file too large or of a length no
    /// entry has is not looked at).
    bool checked = false;
    /// The source that lists the file (from 1) and the item within it; 0 when none lists it.
    std::uint16_t source = 0;
    std::uint32_t item = 0;
    /// Why the content could not be judged (the rules ran out of time); the file then counts as
    /// not examined.
    std::string failure;
};

/// A threat as a row shows it.
struct ExtraThreat {
    std::string name;
    /// The row's information; empty for the usual advice.
    std::string information;
};

/// The signature sources beside the shipped database: hash lists (MD5, SHA-1 and SHA-256 of whole
/// files, with or without their length) and YARA rules. Loaded once; immutable afterwards, and
/// safe to use from several threads at once.
class ExtraSignatures {
public:
    /// Reads every source of `options`. Each source is opened without following a link and read
    /// once from one descriptor; one that another user owns or others may change is refused. A
    /// source with problems is reported in `sources()`, and the others still load.
    static std::shared_ptr<const ExtraSignatures> Load(const SignatureOptions& options);
    ~ExtraSignatures();
    ExtraSignatures(const ExtraSignatures&) = delete;
    ExtraSignatures& operator=(const ExtraSignatures&) = delete;

    /// Every source looked at, in rank order, those left out included.
    const std::vector<SignatureSourceInfo>& sources() const { return m_sources; }
    /// Whether any source gave a signature.
    bool empty() const;
    /// Whether any source had a problem.
    bool hasProblems() const;
    const SignatureOptions& options() const { return m_options; }

    /// Whether a file of `size` bytes must be read for these sources: some hash entry could match
    /// it, or rules are loaded and it is small enough for them.
    bool wantsContent(std::uint64_t size) const;
    /// The longest file wantsContent asks for.
    std::uint64_t readLimit() const;
    /// Judges the whole content of a file: the hash lists first (each kind of hash computed once),
    /// then the rules, the verdict of the source that ranks first. `name` is the file's name and
    /// `path` its full path, for rules that look at them.
    ExtraVerdict check(std::string_view content, std::string_view name,
                       std::string_view path) const;
    /// The threat a verdict's source and item stand for; none when there is no such item.
    std::optional<ExtraThreat> describe(std::uint16_t source, std::uint32_t item) const;
    /// The names of a source's signatures in its order (hash lists give one name per entry);
    /// `visit` returns false to stop.
    void forEachName(std::size_t sourceIndex,
                     const std::function<bool(std::string_view name)>& visit) const;
    /// A digest of everything that decides a verdict: each source's content, kind and rank, and
    /// the size limits. Empty when no source gave a signature.
    const std::string& fingerprint() const { return m_fingerprint; }

private:
    struct Loader;
    ExtraSignatures();

    SignatureOptions m_options;
    std::vector<SignatureSourceInfo> m_sources;
    /// The open hash lists, by source number (from 1; none at 0 and for other kinds), from which
    /// names are read back when an entry matches.
    std::vector<std::unique_ptr<SignatureFile>> m_files;
    std::unique_ptr<HashIndex> m_hashes;
    std::unique_ptr<YaraRules> m_rules;
    /// Source number of each compiled YARA source, and the lowest of them (0 when none).
    std::vector<std::uint16_t> m_yaraSources;
    std::uint16_t m_firstYaraSource = 0;
    std::string m_fingerprint;
};

/// How many signatures a source gave, as lists show it: "1 hash", "3 hashes", "1 rule", "2 rules".
std::string SourceCountText(const SignatureSourceInfo& source);
/// The source's file name without its folder.
std::string SourceFileName(const SignatureSourceInfo& source);

/// The folders searched for sources before those named on the command line: the system's folder,
/// which updates write ("/var/lib/kesto/signatures"), then the user's own
/// ("$XDG_DATA_HOME/kesto/signatures", by default "~/.local/share/kesto/signatures"; for root
/// the one in root's home from the password database, whatever the environment says).
std::vector<std::string> DefaultSignatureFolders();

/// Replaces what DefaultSignatureFolders gives (tests read no folder of the machine's); none puts
/// the usual folders back. Returns the replacement it replaced.
std::optional<std::vector<std::string>>
ExchangeDefaultSignatureFolders(std::optional<std::vector<std::string>> folders);
