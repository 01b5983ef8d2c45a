#include "signatures/ExtraSignatures.h"

#include "platform/FileFacts.h"
#include "platform/FileHashes.h"
#include "platform/FileOps.h"
#include "platform/FolderListing.h"
#include "platform/ProgramFolder.h"
#include "signatures/HashIndex.h"
#include "signatures/HashList.h"
#include "signatures/SignatureFile.h"
#include "signatures/SourceTrust.h"
#include "signatures/YaraRules.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <mutex>

namespace {

// Hash lists are read in pieces, so that a list of millions of lines never sits whole in memory.
constexpr std::size_t kListPiece = std::size_t{1} << 20;
// An entry keeps where its line starts as 32 bits, which bounds a list.
constexpr std::uint64_t kMaxListBytes = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kMaxRuleFileBytes = 16ull << 20;
// The most a line that names a threat is read back for.
constexpr std::size_t kLineReadBack = 4096;
constexpr std::size_t kMaxSources = std::numeric_limits<std::uint16_t>::max();

enum class FileKind { HashList, YaraRules, Other };

FileKind kindOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return FileKind::Other;
    }
    std::string extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "hashes" || extension == "hsb" || extension == "hdb") {
        return FileKind::HashList;
    }
    if (extension == "yar" || extension == "yara") {
        return FileKind::YaraRules;
    }
    return FileKind::Other;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) {
        return folder + name;
    }
#ifdef _WIN32
    return folder + "\\" + name;
#else
    return folder + "/" + name;
#endif
}

/// Adds `text` with its length before it, so that no two different sequences of texts hash alike.
void addField(platform::MultiHasher& hash, std::string_view text) {
    hash.update(std::to_string(text.size()));
    hash.update(":");
    hash.update(text);
}

std::string sha256Hex(platform::MultiHasher& hash) {
    const platform::FileDigests digests = hash.finish();
    return platform::digestHex(
        platform::HashKind::Sha256,
        digests.values[static_cast<std::size_t>(platform::HashKind::Sha256)]);
}

std::string badLinesProblem(const HashListReport& report) {
    std::string text = std::to_string(report.badLines) +
                       (report.badLines == 1 ? " line was" : " lines were") +
                       " not understood and left out (line";
    text += report.firstBadLines.size() == 1 ? " " : "s ";
    for (std::size_t i = 0; i < report.firstBadLines.size(); ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(report.firstBadLines[i]);
    }
    if (report.badLines > report.firstBadLines.size()) {
        text += ", ...";
    }
    return text + ")";
}

/// The extension YARA rules see: what follows the name's last dot, none for a name without one.
std::string_view extensionOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
}

} // namespace

/// Reads the sources one after the other into the set being loaded.
struct ExtraSignatures::Loader {
    ExtraSignatures& set;
    HashIndex::Builder hashes;
    std::vector<YaraSourceText> ruleTexts;
    std::vector<std::size_t> ruleInfo; // the place in set.m_sources of each rule text
    std::vector<std::string> digests; // each source's content digest, by place; empty when left out

    void addProblem(std::string path, SignatureSourceInfo::Kind kind, std::string problem) {
        SignatureSourceInfo info;
        info.path = std::move(path);
        info.kind = kind;
        info.refused = true;
        info.problems.push_back(std::move(problem));
        set.m_sources.push_back(std::move(info));
        set.m_files.emplace_back();
        digests.emplace_back();
    }

    void loadFolder(const std::string& path, bool missingIsProblem) {
        platform::FolderHandle folder;
        if (const std::error_code error = folder.openPath(path)) {
            // A usual folder that is missing, or that this user cannot reach (another user's
            // home named by an inherited HOME), is not theirs to use: passed over in silence.
            if (missingIsProblem ||
                (error != std::errc::no_such_file_or_directory &&
                 error != std::errc::permission_denied && error != std::errc::not_a_directory)) {
                addProblem(path, SignatureSourceInfo::Kind::Folder,
                           "cannot be read: " + error.message());
            }
            return;
        }
        platform::FileFacts facts;
        if (const std::error_code error = platform::folderFacts(folder, facts)) {
            addProblem(path, SignatureSourceInfo::Kind::Folder,
                       "cannot be read: " + error.message());
            return;
        }
        if (std::string refusal = SourceRefusal(facts, platform::effectiveUser());
            !refusal.empty()) {
            addProblem(path, SignatureSourceInfo::Kind::Folder, "refused: " + refusal);
            return;
        }
        std::vector<platform::FolderEntry> entries;
        if (const std::error_code error = folder.list(false, entries)) {
            addProblem(path, SignatureSourceInfo::Kind::Folder,
                       "cannot be listed: " + error.message());
            return;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        for (const platform::FolderEntry& entry : entries) {
            if (kindOf(entry.name) == FileKind::Other ||
                entry.kind == platform::FolderEntry::Kind::Folder) {
                continue;
            }
            loadFile(folder, entry.name, joinPath(path, entry.name));
        }
    }

    /// A path named on the command line: a folder of sources, or one source file.
    void loadPath(const std::string& path) {
        platform::FolderHandle folder;
        const std::error_code error = folder.openPath(path);
        if (!error) {
            folder = platform::FolderHandle();
            loadFolder(path, true);
            return;
        }
        if (error != std::errc::not_a_directory) {
            addProblem(path, SignatureSourceInfo::Kind::Folder,
                       "cannot be read: " + error.message());
            return;
        }
        const std::size_t slash = path.find_last_of("/\\");
        const std::string parent = slash == std::string::npos ? std::string(".")
                                   : slash == 0               ? path.substr(0, 1)
                                                              : path.substr(0, slash);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (kindOf(name) == FileKind::Other) {
            addProblem(path, SignatureSourceInfo::Kind::HashList,
                       "is neither a hash list (.hashes, .hsb, .hdb) nor YARA rules (.yar, "
                       ".yara)");
            return;
        }
        platform::FolderHandle parentFolder;
        if (const std::error_code parentError = parentFolder.openPath(parent)) {
            addProblem(path, SignatureSourceInfo::Kind::Folder,
                       "cannot be read: " + parentError.message());
            return;
        }
        loadFile(parentFolder, name, path);
    }

    void loadFile(const platform::FolderHandle& folder, const std::string& name,
                  const std::string& path) {
        const bool rules = kindOf(name) == FileKind::YaraRules;
        const auto kind =
            rules ? SignatureSourceInfo::Kind::YaraRules : SignatureSourceInfo::Kind::HashList;
        if (set.m_sources.size() >= kMaxSources) {
            addProblem(path, kind, "left out: too many signature files");
            return;
        }
        auto file = std::make_unique<SignatureFile>();
        std::string problem;
        if (!file->open(folder, name, path, problem)) {
            addProblem(path, kind, problem);
            return;
        }
        if (rules) {
            loadRules(std::move(file), path);
        } else {
            loadHashList(std::move(file), path);
        }
    }

    void loadHashList(std::unique_ptr<SignatureFile> file, const std::string& path) {
        const auto source = static_cast<std::uint16_t>(set.m_sources.size() + 1);
        platform::MultiHasher content(platform::kindBit(platform::HashKind::Sha256));
        HashListParser parser(file->stem(),
                              [&](const HashEntry& entry) { hashes.add(entry, source); });
        const std::error_code error =
            file->readAll(kListPiece, kMaxListBytes, [&](std::string_view bytes) {
                content.update(bytes);
                parser.feed(bytes);
            });
        parser.finish();
        SignatureSourceInfo info;
        info.path = path;
        info.kind = SignatureSourceInfo::Kind::HashList;
        info.count = parser.report().entries;
        if (error) {
            // What was read stands; the rest of the list is missing.
            info.problems.push_back("could not be read to its end: " + error.message());
        }
        if (parser.report().badLines > 0) {
            info.problems.push_back(badLinesProblem(parser.report()));
        }
        set.m_sources.push_back(std::move(info));
        set.m_files.push_back(std::move(file));
        digests.push_back(sha256Hex(content));
    }

    void loadRules(std::unique_ptr<SignatureFile> file, const std::string& path) {
        std::string text;
        const std::error_code error = file->readAll(
            kListPiece, kMaxRuleFileBytes, [&](std::string_view bytes) { text.append(bytes); });
        if (error) {
            addProblem(path, SignatureSourceInfo::Kind::YaraRules,
                       error == std::errc::file_too_large ? "left out: larger than 16 MiB"
                                                          : "cannot be read: " + error.message());
            return;
        }
        platform::MultiHasher content(platform::kindBit(platform::HashKind::Sha256));
        content.update(text);
        SignatureSourceInfo info;
        info.path = path;
        info.kind = SignatureSourceInfo::Kind::YaraRules;
        ruleInfo.push_back(set.m_sources.size());
        ruleTexts.push_back(YaraSourceText{path, std::move(text)});
        set.m_sources.push_back(std::move(info));
        set.m_files.emplace_back();
        digests.push_back(sha256Hex(content));
    }

    void compileRules() {
        if (ruleTexts.empty()) {
            return;
        }
        std::vector<YaraProblem> problems;
        std::vector<std::size_t> counts;
        set.m_rules = YaraRules::Compile(ruleTexts, problems, counts);
        for (std::size_t i = 0; i < ruleTexts.size(); ++i) {
            SignatureSourceInfo& info = set.m_sources[ruleInfo[i]];
            info.count = i < counts.size() ? counts[i] : 0;
            for (const YaraProblem& problem : problems) {
                if (problem.path == info.path) {
                    info.problems.push_back(problem.message);
                }
            }
            if (info.count == 0 && !info.problems.empty()) {
                info.refused = true;
                digests[ruleInfo[i]].clear();
            }
            set.m_yaraSources.push_back(static_cast<std::uint16_t>(ruleInfo[i] + 1));
        }
        const auto first = std::find_if(ruleInfo.begin(), ruleInfo.end(),
                                        [&](std::size_t at) { return !set.m_sources[at].refused; });
        set.m_firstYaraSource =
            set.m_rules && first != ruleInfo.end() ? static_cast<std::uint16_t>(*first + 1) : 0;
    }

    void makeFingerprint() {
        if (set.empty()) {
            return;
        }
        platform::MultiHasher hash(platform::kindBit(platform::HashKind::Sha256));
        addField(hash, "kesto extra signatures 1");
        addField(hash, std::to_string(set.m_options.maxHashSize));
        addField(hash, std::to_string(set.m_options.maxYaraSize));
        for (std::size_t i = 0; i < set.m_sources.size(); ++i) {
            if (set.m_sources[i].refused || digests[i].empty()) {
                continue;
            }
            addField(hash, std::to_string(i + 1));
            addField(hash, std::to_string(static_cast<int>(set.m_sources[i].kind)));
            addField(hash, digests[i]);
        }
        set.m_fingerprint = sha256Hex(hash);
    }
};

ExtraSignatures::ExtraSignatures() = default;
ExtraSignatures::~ExtraSignatures() = default;

std::shared_ptr<const ExtraSignatures> ExtraSignatures::Load(const SignatureOptions& options) {
    std::shared_ptr<ExtraSignatures> set(new ExtraSignatures());
    set->m_options = options;
    set->m_files.emplace_back(); // source numbers count from 1
    Loader loader{*set, {}, {}, {}, {}};
    for (const std::string& folder : options.folders) {
        loader.loadFolder(folder, false);
    }
    for (const std::string& path : options.paths) {
        loader.loadPath(path);
    }
    set->m_hashes = std::make_unique<HashIndex>(std::move(loader.hashes).build());
    loader.compileRules();
    loader.makeFingerprint();
    return set;
}

bool ExtraSignatures::empty() const {
    return (m_hashes == nullptr || m_hashes->entryCount() == 0) && m_firstYaraSource == 0;
}

bool ExtraSignatures::hasProblems() const {
    return std::any_of(m_sources.begin(), m_sources.end(),
                       [](const SignatureSourceInfo& info) { return !info.problems.empty(); });
}

bool ExtraSignatures::wantsContent(std::uint64_t size) const {
    if (size == 0) {
        return false;
    }
    if (m_firstYaraSource != 0 && size <= m_options.maxYaraSize) {
        return true;
    }
    return m_hashes != nullptr && size <= m_options.maxHashSize &&
           m_hashes->kindsFor(size, m_options.maxHashSize) != 0;
}

std::uint64_t ExtraSignatures::readLimit() const {
    std::uint64_t limit = 0;
    if (m_firstYaraSource != 0) {
        limit = m_options.maxYaraSize;
    }
    if (m_hashes != nullptr && m_hashes->entryCount() > 0) {
        limit = std::max(limit, m_options.maxHashSize);
    }
    return limit;
}

ExtraVerdict ExtraSignatures::check(std::string_view content, std::string_view name,
                                    std::string_view path) const {
    ExtraVerdict verdict;
    const std::uint64_t size = content.size();
    if (size == 0) {
        return verdict;
    }
    const platform::HashKinds kinds = m_hashes != nullptr && size <= m_options.maxHashSize
                                          ? m_hashes->kindsFor(size, m_options.maxHashSize)
                                          : platform::HashKinds{0};
    if (kinds != 0) {
        verdict.checked = true;
        platform::MultiHasher hasher(kinds);
        if (!hasher.ready()) {
            verdict.failure = "the file's hashes could not be computed";
            return verdict;
        }
        hasher.update(content);
        if (const auto found = m_hashes->find(hasher.finish(), size)) {
            verdict.source = found->source;
            verdict.item = static_cast<std::uint32_t>(found->lineOffset);
        }
    }
    // The rules run only where a source of theirs ranks before the hash list that listed the
    // file.
    if (m_firstYaraSource == 0 || size > m_options.maxYaraSize ||
        (verdict.source != 0 && verdict.source < m_firstYaraSource)) {
        return verdict;
    }
    verdict.checked = true;
    const YaraRules::FileFacts facts{name, path, extensionOf(name)};
    const YaraRules::Result result = m_rules->scan(content, facts, m_options.yaraTimeoutSeconds);
    switch (result.outcome) {
    case YaraRules::Outcome::Matched: {
        const std::uint16_t source = m_yaraSources.at(result.source);
        if (verdict.source == 0 || source < verdict.source) {
            verdict.source = source;
            verdict.item = static_cast<std::uint32_t>(result.rule);
        }
        break;
    }
    case YaraRules::Outcome::TimedOut:
        if (verdict.source == 0) {
            verdict.failure = "the YARA rules did not finish within " +
                              std::to_string(m_options.yaraTimeoutSeconds) + " s";
        }
        break;
    case YaraRules::Outcome::Failed:
        if (verdict.source == 0) {
            verdict.failure = "the YARA rules failed: " + result.error;
        }
        break;
    case YaraRules::Outcome::NoMatch:
        break;
    }
    return verdict;
}

std::optional<ExtraThreat> ExtraSignatures::describe(std::uint16_t source,
                                                     std::uint32_t item) const {
    if (source == 0 || source > m_sources.size()) {
        return std::nullopt;
    }
    const SignatureSourceInfo& info = m_sources[source - 1];
    if (info.kind == SignatureSourceInfo::Kind::HashList && m_files[source]) {
        const SignatureFile& file = *m_files[source];
        std::string line = file.readAt(item, kLineReadBack);
        if (const std::size_t end = line.find('\n'); end != std::string::npos) {
            line.resize(end);
        }
        // A bare hash's name is the list's own, which the entry's name then points into.
        const std::string stem = file.stem();
        if (const auto entry = ParseHashLine(line, stem)) {
            return ExtraThreat{std::string(entry->name), {}};
        }
        return ExtraThreat{stem, {}}; // the list changed under its descriptor
    }
    if (info.kind == SignatureSourceInfo::Kind::YaraRules && m_rules) {
        const auto at = std::find(m_yaraSources.begin(), m_yaraSources.end(), source);
        if (at == m_yaraSources.end()) {
            return std::nullopt;
        }
        const auto index = static_cast<std::size_t>(at - m_yaraSources.begin());
        if (item >= m_rules->ruleCount(index)) {
            return std::nullopt;
        }
        return ExtraThreat{m_rules->threatName(index, item), m_rules->description(index, item)};
    }
    return std::nullopt;
}

void ExtraSignatures::forEachName(std::size_t sourceIndex,
                                  const std::function<bool(std::string_view name)>& visit) const {
    if (sourceIndex >= m_sources.size() || m_sources[sourceIndex].refused) {
        return;
    }
    const auto source = static_cast<std::uint16_t>(sourceIndex + 1);
    if (m_sources[sourceIndex].kind == SignatureSourceInfo::Kind::HashList && m_files[source]) {
        const SignatureFile& file = *m_files[source];
        bool going = true;
        HashListParser parser(file.stem(),
                              [&](const HashEntry& entry) { going = going && visit(entry.name); });
        (void)file.readAll(kListPiece, kMaxListBytes, [&](std::string_view bytes) {
            if (going) {
                parser.feed(bytes);
            }
        });
        if (going) {
            parser.finish();
        }
        return;
    }
    if (m_sources[sourceIndex].kind == SignatureSourceInfo::Kind::YaraRules && m_rules) {
        const auto at = std::find(m_yaraSources.begin(), m_yaraSources.end(), source);
        if (at == m_yaraSources.end()) {
            return;
        }
        const auto index = static_cast<std::size_t>(at - m_yaraSources.begin());
        for (std::size_t rule = 0; rule < m_rules->ruleCount(index); ++rule) {
            if (!visit(m_rules->threatName(index, rule))) {
                return;
            }
        }
    }
}

std::string SourceCountText(const SignatureSourceInfo& source) {
    const bool rules = source.kind == SignatureSourceInfo::Kind::YaraRules;
    const char* unit = rules ? (source.count == 1 ? " rule" : " rules")
                             : (source.count == 1 ? " hash" : " hashes");
    return std::to_string(source.count) + unit;
}

std::string SourceFileName(const SignatureSourceInfo& source) {
    const std::size_t slash = source.path.find_last_of("/\\");
    return slash == std::string::npos ? source.path : source.path.substr(slash + 1);
}

namespace {

struct FolderOverride {
    std::mutex mutex;
    std::optional<std::vector<std::string>> folders;
};

FolderOverride& folderOverride() {
    static FolderOverride instance;
    return instance;
}

} // namespace

std::optional<std::vector<std::string>>
ExchangeDefaultSignatureFolders(std::optional<std::vector<std::string>> folders) {
    FolderOverride& replacement = folderOverride();
    const std::lock_guard lock(replacement.mutex);
    std::swap(replacement.folders, folders);
    return folders;
}

std::vector<std::string> DefaultSignatureFolders() {
    {
        FolderOverride& replacement = folderOverride();
        const std::lock_guard lock(replacement.mutex);
        if (replacement.folders) {
            return *replacement.folders;
        }
    }
#ifdef _WIN32
    return {joinPath(platform::programFolder(), "signatures")};
#else
    std::vector<std::string> folders{"/var/lib/kesto/signatures"};
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (!platform::runningAsRoot() && xdg != nullptr && xdg[0] == '/') {
        folders.push_back(std::string(xdg) + "/kesto/signatures");
    } else if (const std::string home = platform::homeFolder(); !home.empty()) {
        folders.push_back(home + "/.local/share/kesto/signatures");
    }
    return folders;
#endif
}
