#include "scanner/FileCheck.h"

#include "cache/VerdictCache.h"
#include "engine/KestoEngine.h"
#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "engine/clsCRC.h"
#include "platform/PathText.h"
#include "platform/Processes.h"

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

/// Completes the check's result from the facts of the file's content: the first pattern found
/// lists a program; else a file below the checksum limit gets its checksum looked up.
void judge(FileCheckResult& result, const WalkedFile& file, const FileCheckContext& context,
           std::uint64_t length, const platform::FileStamp& stamp, const ContentFacts& facts,
           const std::optional<StringSignature::VirusMatch>& match) {
    result.mayBeRunning = facts.mayBeRunning;
    if (match) {
        const bool larger = static_cast<std::uint64_t>(std::max(match->size, 0)) < length;
        result.row =
            rowFor(file, length, match->name, larger ? kInfectedFileInformation : "", stamp);
        return;
    }
    if (kilobytes(length) >= kChecksumLimitKb) {
        return;
    }
    CrcResult crc;
    if (facts.checksum) {
        crc = static_cast<std::int32_t>(*facts.checksum);
    }
    std::string threat;
    std::uint64_t version = 0;
    try {
        threat = KestoEngine::LookupChecksum(context.database, ChecksumText(crc),
                                             file.databaseRound, &version);
    } catch (const DatabaseError& error) {
        result.lookupFailure = error.what();
        result.databaseVersion = 0;
        return;
    }
    result.databaseVersion = version;
    if (!threat.empty()) {
        result.row = rowFor(file, length, std::move(threat), kChecksumAdvice, stamp);
    }
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
        stamp.size == 0 || !readByCheck(file.name, stamp.size)) {
        return std::nullopt;
    }
    // Only a program's name has its content searched for the patterns; what another name of
    // the same file learnt may lack the search, or the checksum.
    const ContentFacts& facts = kept->facts;
    const bool program = isProgram(file.name);
    const std::optional<StringSignature::VirusMatch> match =
        program ? patternAt(facts.pattern) : std::nullopt;
    if ((program && (!facts.patternsSearched || (facts.pattern != 0 && !match))) ||
        (!match && kilobytes(stamp.size) < kChecksumLimitKb && !facts.checksum)) {
        return std::nullopt;
    }
    FileCheckResult result;
    result.fromCache = true;
    judge(result, file, context, stamp.size, stamp, facts, match);
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
    if (!readByCheck(file.name, length)) {
        return result;
    }
    // A file of no length is not read: some kernel files report none and never end.
    bool readable = false;
    if (openError) {
        result.unreadable = openError.message();
    } else if (length > 0) {
        const auto ec = buffer.readOpenFile(input, kExamineLimitBytes - 1);
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
    ContentFacts facts;
    facts.mayBeRunning = !readable || platform::canBeProcessImage(content);
    std::optional<StringSignature::VirusMatch> match;
    if (isProgram(file.name) && readable) {
        facts.patternsSearched = true;
        match = StringSignature::FirstVirusPattern(content);
        facts.pattern = match ? patternPlace(*match) : 0;
    }
    // An unreadable or empty file has no checksum; its text "0" is looked up like any other.
    if (!match && kilobytes(length) < kChecksumLimitKb && readable && !content.empty()) {
        facts.checksum = static_cast<std::uint32_t>(clsCRC().CalculateBytes(content));
    }
    if (readable && context.cache != nullptr) {
        context.cache->remember(*file.handle, stamp, facts);
    }
    judge(result, file, context, length, stamp, facts, match);
    return result;
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
        !readByCheck(file.name, input.size()) || input.startCached()) {
        return false;
    }
    input.prefetch();
    return true;
}
