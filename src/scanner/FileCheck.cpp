#include "scanner/FileCheck.h"

#include "cache/VerdictCache.h"
#include "engine/KestoEngine.h"
#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "engine/clsCRC.h"
#include "platform/PathText.h"
#include "platform/Processes.h"
#include "signatures/ExtraSignatures.h"

#include <algorithm>

namespace {

double kilobytes(std::uint64_t length) {
    return static_cast<double>(length) / 1024.0;
}

bool isProgram(std::string_view name) {
    const std::string_view type = KestoEngine::FileTypeDescription(name);
    return type == "Application" || type == "Screen Saver";
}

/// Whether the check reads a file of this name and length: programs up to the examine limit,
/// other files below the checksum limit.
bool readByCheck(std::string_view name, std::uint64_t length) {
    return kilobytes(length) < kExamineLimitKb &&
           (kilobytes(length) < kChecksumLimitKb || isProgram(name));
}

/// Whether the check reads a file of this name and length for the shipped signatures or for the
/// extra sources.
bool readForAny(std::string_view name, std::uint64_t length, const ExtraSignatures* extra) {
    return readByCheck(name, length) || (extra != nullptr && extra->wantsContent(length));
}

/// The most the check reads of a file.
std::size_t readLimitFor(const ExtraSignatures* extra) {
    const std::uint64_t limit =
        std::max<std::uint64_t>(kExamineLimitBytes - 1, extra != nullptr ? extra->readLimit() : 0);
    return static_cast<std::size_t>(std::min<std::uint64_t>(limit, SIZE_MAX));
}

/// A file that is gone, or is no longer a regular file, has nothing left to examine.
bool vanished(std::error_code ec) {
    return ec == std::errc::no_such_file_or_directory || ec == platform::FileError::NotRegularFile;
}

DetectionEntry rowFor(const WalkedFile& file, std::uint64_t length, std::string threat,
                      std::string information, const platform::FileStamp& stamp) {
    DetectionEntry row;
    row.name = std::move(threat);
    row.location = file.folder + file.name;
    row.size = std::to_string(length);
    row.information = std::move(information);
    row.folder = file.node;
    row.fileName = file.name;
    row.stamp = stamp;
    return row;
}

/// The place (from 1) of a found pattern in the virus pattern list, as content facts keep it.
std::uint16_t patternPlace(const StringSignature::VirusMatch& match) {
    const auto& entries = StringSignature::VirusEntries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].name == match.name && entries[i].size == match.size) {
            return static_cast<std::uint16_t>(i + 1);
        }
    }
    return 0;
}

std::optional<StringSignature::VirusMatch> patternAt(std::uint16_t place) {
    const auto& entries = StringSignature::VirusEntries();
    if (place == 0 || place > entries.size()) {
        return std::nullopt;
    }
    const StringSignature::EntryFields& entry = entries[place - 1];
    return StringSignature::VirusMatch{entry.name, entry.size};
}

/// What the extra sources found in the facts, named as a row names it.
void judgeExtra(OpenFileVerdict& verdict, const ExtraSignatures* extra, const ContentFacts& facts) {
    if (extra == nullptr || facts.extraSource == 0) {
        return;
    }
    if (std::optional<ExtraThreat> threat = extra->describe(facts.extraSource, facts.extraItem)) {
        verdict.threat = std::move(threat->name);
        verdict.information =
            threat->information.empty() ? kChecksumAdvice : std::move(threat->information);
    }
}

/// What the facts of a file's content say: the first pattern found lists a program; else a file
/// below the checksum limit gets its checksum looked up in `round` of the database; else the
/// extra sources may list it.
OpenFileVerdict judgeContent(const SignatureDatabase& database, std::uint64_t round,
                             std::uint64_t length, const ContentFacts& facts,
                             const std::optional<StringSignature::VirusMatch>& match,
                             const ExtraSignatures* extra) {
    OpenFileVerdict verdict;
    if (match) {
        const bool larger = static_cast<std::uint64_t>(std::max(match->size, 0)) < length;
        verdict.threat = match->name;
        verdict.information = larger ? kInfectedFileInformation : "";
        return verdict;
    }
    if (kilobytes(length) >= kChecksumLimitKb) {
        judgeExtra(verdict, extra, facts);
        return verdict;
    }
    CrcResult crc;
    if (facts.checksum) {
        crc = static_cast<std::int32_t>(*facts.checksum);
    }
    std::uint64_t version = 0;
    try {
        verdict.threat = KestoEngine::LookupChecksum(database, ChecksumText(crc), round, &version);
    } catch (const DatabaseError& error) {
        // The other sources still speak for a file the database could not answer for.
        verdict.lookupFailure = error.what();
        verdict.databaseVersion = 0;
        judgeExtra(verdict, extra, facts);
        return verdict;
    }
    verdict.databaseVersion = version;
    if (!verdict.threat.empty()) {
        verdict.information = kChecksumAdvice;
        return verdict;
    }
    judgeExtra(verdict, extra, facts);
    return verdict;
}

/// Completes the check's result from the facts of the file's content.
void judge(FileCheckResult& result, const WalkedFile& file, const FileCheckContext& context,
           std::uint64_t length, const platform::FileStamp& stamp, const ContentFacts& facts,
           const std::optional<StringSignature::VirusMatch>& match) {
    result.mayBeRunning = facts.mayBeRunning;
    OpenFileVerdict verdict =
        judgeContent(context.database, file.databaseRound, length, facts, match, context.extra);
    result.lookupFailure = std::move(verdict.lookupFailure);
    result.databaseVersion = verdict.databaseVersion;
    if (!verdict.threat.empty()) {
        result.row =
            rowFor(file, length, std::move(verdict.threat), std::move(verdict.information), stamp);
    }
}

/// The pattern kept facts name for a file of this name and length, or none; nothing when the
/// facts lack what the check of such a file needs (what another name of the same file learnt may
/// lack the pattern search, or the checksum), so that the file must be read.
std::optional<std::optional<StringSignature::VirusMatch>> keptMatch(const ContentFacts& facts,
                                                                    std::string_view name,
                                                                    std::uint64_t length,
                                                                    const ExtraSignatures* extra) {
    // Only a program's name has its content searched for the patterns, and only a file the
    // shipped signatures read at all.
    const bool shipped = readByCheck(name, length);
    const bool program = shipped && isProgram(name);
    std::optional<StringSignature::VirusMatch> match =
        program ? patternAt(facts.pattern) : std::nullopt;
    if ((program && (!facts.patternsSearched || (facts.pattern != 0 && !match))) ||
        (!match && shipped && kilobytes(length) < kChecksumLimitKb && !facts.checksum) ||
        (!match && extra != nullptr && extra->wantsContent(length) && !facts.extraChecked)) {
        return std::nullopt;
    }
    return match;
}

/// Where the content of a file is judged: its name and full path (for rules that look at them)
/// and the extra sources, if any.
struct ContentPlace {
    std::string_view name;
    std::string_view path;
    const ExtraSignatures* extra = nullptr;
};

/// The facts of content read from a file of this name and length, and the pattern found first.
/// `extraFailure` says why the extra sources could not judge the content, if they could not.
ContentFacts factsOf(std::string_view content, bool readable, const ContentPlace& place,
                     std::uint64_t length, std::optional<StringSignature::VirusMatch>& match,
                     std::string& extraFailure) {
    ContentFacts facts;
    facts.mayBeRunning = !readable || platform::canBeProcessImage(content);
    const bool shipped = readByCheck(place.name, length);
    if (shipped && isProgram(place.name) && readable) {
        facts.patternsSearched = true;
        match = StringSignature::FirstVirusPattern(content);
        facts.pattern = match ? patternPlace(*match) : 0;
    }
    // An unreadable or empty file has no checksum; its text "0" is looked up like any other.
    if (shipped && !match && kilobytes(length) < kChecksumLimitKb && readable && !content.empty()) {
        facts.checksum = static_cast<std::uint32_t>(clsCRC().CalculateBytes(content));
    }
    // A file a pattern lists needs nothing more; the checksum's verdict waits for the lookup,
    // so the extra sources judge every other file they want to see.
    if (place.extra != nullptr && readable && !match && place.extra->wantsContent(length)) {
        const ExtraVerdict verdict = place.extra->check(content, place.name, place.path);
        if (verdict.failure.empty()) {
            facts.extraChecked = true;
            facts.extraSource = verdict.source;
            facts.extraItem = verdict.item;
        } else {
            extraFailure = verdict.failure;
        }
    }
    return facts;
}

/// The check answered from the verdict cache without reading the file: only when the cache
/// kept facts for the file at this very identity, length and times, and they hold all the
/// check needs for a file of this name. None when the file must be read.
std::optional<FileCheckResult> checkFromCache(const WalkedFile& file,
                                              const FileCheckContext& context) {
    if (file.listedId == 0) {
        return std::nullopt;
    }
    const std::optional<VerdictRecord> kept = context.cache->find(*file.handle, file.listedId);
    if (!kept) {
        return std::nullopt;
    }
    platform::FileStamp stamp;
    if (file.handle->statFile(file.name, stamp) || stamp.device != file.handle->id().device ||
        stamp.inode != file.listedId || ContentStamp{stamp.size, stamp.changedNs} != kept->stamp ||
        stamp.size == 0 || !readForAny(file.name, stamp.size, context.extra)) {
        return std::nullopt;
    }
    const auto match = keptMatch(kept->facts, file.name, stamp.size, context.extra);
    if (!match) {
        return std::nullopt;
    }
    FileCheckResult result;
    result.fromCache = true;
    judge(result, file, context, stamp.size, stamp, kept->facts, *match);
    return result;
}

} // namespace

bool InQuarantine(std::string_view folder, std::string_view quarantineFolder) {
    // A root keeps its own separator.
    const std::size_t keep = std::max<std::size_t>(platform::pathRootLength(quarantineFolder), 1);
    while (quarantineFolder.size() > keep && platform::isPathSeparator(quarantineFolder.back())) {
        quarantineFolder.remove_suffix(1);
    }
    return platform::isWithinFolder(folder, quarantineFolder);
}

FileCheckResult CheckFile(const WalkedFile& file, const FileCheckContext& context,
                          platform::ReadBuffer& buffer) {
    FileCheckResult result;
    if (InQuarantine(file.folder, context.quarantineFolder)) {
        return result;
    }
    if (context.cache != nullptr) {
        if (auto cached = checkFromCache(file, context)) {
            return std::move(*cached);
        }
    }
    // The walk does not look at each file: its length comes from the file once open. A file that
    // cannot be opened is looked at by name, to tell whether it would have been examined at all.
    platform::InputFile input;
    platform::FileStamp stamp;
    std::uint64_t length = 0;
    const std::error_code openError = input.openAt(file.handle->fd(), file.name);
    if (!openError) {
        stamp = input.stamp();
        length = stamp.size;
    } else if (vanished(openError)) {
        return result;
    } else {
        platform::FileStamp seen;
        if (const auto ec = file.handle->statFile(file.name, seen)) {
            if (!vanished(ec)) {
                result.unreadable = openError.message();
            }
            return result;
        }
        length = seen.size;
    }
    if (!readForAny(file.name, length, context.extra)) {
        return result;
    }
    // A file of no length is not read: some kernel files report none and never end.
    bool readable = false;
    if (openError) {
        result.unreadable = openError.message();
    } else if (length > 0) {
        const auto ec = buffer.readOpenFile(input, readLimitFor(context.extra));
        if (ec == std::errc::file_too_large || vanished(ec)) {
            return result; // grew past the examination limit, or left, since it was opened
        }
        if (ec) {
            result.unreadable = ec.message();
        }
        readable = !ec;
    }
    input.close();
    const std::string_view content = readable ? buffer.view() : std::string_view();
    std::optional<StringSignature::VirusMatch> match;
    std::string extraFailure;
    const std::string location = context.extra != nullptr ? file.folder + file.name : std::string();
    const ContentFacts facts = factsOf(content, readable, {file.name, location, context.extra},
                                       length, match, extraFailure);
    if (readable && context.cache != nullptr) {
        context.cache->remember(*file.handle, stamp, facts);
    }
    judge(result, file, context, length, stamp, facts, match);
    // Content the extra sources could not judge was not examined, unless it is listed anyway.
    if (!result.row && result.unreadable.empty()) {
        result.unreadable = std::move(extraFailure);
    }
    return result;
}

bool ExaminedByCheck(std::string_view name, std::uint64_t length, const ExtraSignatures* extra) {
    return length > 0 && readForAny(name, length, extra);
}

std::optional<OpenFileVerdict> CheckOpenFileFromCache(const platform::InputFile& input,
                                                      std::string_view name,
                                                      const OpenFileContext& context) {
    const platform::FileStamp& stamp = input.stamp();
    if (!ExaminedByCheck(name, stamp.size, context.extra)) {
        return OpenFileVerdict{};
    }
    if (context.cache == nullptr) {
        return std::nullopt;
    }
    const auto kept = context.cache->find(input.nativeHandle(), stamp);
    if (!kept || ContentStamp{stamp.size, stamp.changedNs} != kept->stamp) {
        return std::nullopt;
    }
    const auto match = keptMatch(kept->facts, name, stamp.size, context.extra);
    if (!match) {
        return std::nullopt;
    }
    OpenFileVerdict verdict = judgeContent(context.database, context.databaseRound, stamp.size,
                                           kept->facts, *match, context.extra);
    verdict.examined = true;
    verdict.fromCache = true;
    return verdict;
}

OpenFileVerdict CheckOpenFile(platform::InputFile& input, std::string_view name,
                              const OpenFileContext& context, platform::ReadBuffer& buffer) {
    if (auto known = CheckOpenFileFromCache(input, name, context)) {
        return std::move(*known);
    }
    OpenFileVerdict verdict;
    const platform::FileStamp stamp = input.stamp();
    const std::int64_t readStarted = context.nowNs ? context.nowNs() : 0;
    const std::error_code ec = buffer.readOpenFile(input, readLimitFor(context.extra));
    if (ec == std::errc::file_too_large) {
        verdict.examined = false; // grew past the examination limit since it was opened
        return verdict;
    }
    if (ec) {
        verdict.unreadable = ec.message();
        return verdict;
    }
    std::optional<StringSignature::VirusMatch> match;
    std::string extraFailure;
    const ContentFacts facts = factsOf(buffer.view(), true, {name, context.path, context.extra},
                                       stamp.size, match, extraFailure);
    // Facts are kept under the stamp the file had when it was opened; a write during the read
    // gives the file a later change time, so what was read then is never taken for it.
    if (context.cache != nullptr && context.nowNs) {
        context.cache->remember(input.nativeHandle(), stamp, facts, readStarted);
    }
    OpenFileVerdict judged = judgeContent(context.database, context.databaseRound, stamp.size,
                                          facts, match, context.extra);
    judged.examined = true;
    if (judged.threat.empty()) {
        judged.unreadable = std::move(extraFailure);
    }
    return judged;
}

bool PrefetchFile(const WalkedFile& file, const FileCheckContext& context) {
    if (InQuarantine(file.folder, context.quarantineFolder)) {
        return false;
    }
    // A file the cache knows is most likely answered from it and not read at all.
    if (context.cache != nullptr && file.listedId != 0 &&
        context.cache->find(*file.handle, file.listedId)) {
        return false;
    }
    platform::InputFile input;
    if (input.openAt(file.handle->fd(), file.name) || input.size() == 0 ||
        !readForAny(file.name, input.size(), context.extra) || input.startCached()) {
        return false;
    }
    input.prefetch();
    return true;
}
