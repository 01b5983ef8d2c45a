#include "scanner/FileCheck.h"

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
    const bool program = isProgram(file.name);
    const bool checksummed = kilobytes(length) < kChecksumLimitKb;
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
    result.mayBeRunning = !readable || platform::canBeProcessImage(content);

    if (program && readable) {
        if (const auto match = StringSignature::FirstVirusPattern(content)) {
            const bool larger = static_cast<std::uint64_t>(std::max(match->size, 0)) < length;
            result.row =
                rowFor(file, length, match->name, larger ? kInfectedFileInformation : "", stamp);
            return result;
        }
    }
    if (!checksummed) {
        return result;
    }
    // An unreadable or empty file has no checksum; its text "0" is looked up like any other.
    CrcResult crc;
    if (readable && !content.empty()) {
        crc = clsCRC().CalculateBytes(content);
    }
    std::string threat;
    std::uint64_t version = 0;
    try {
        threat = KestoEngine::LookupChecksum(context.database, ChecksumText(crc),
                                             file.databaseRound, &version);
    } catch (const DatabaseError& error) {
        result.lookupFailure = error.what();
        result.databaseVersion = 0;
        return result;
    }
    result.databaseVersion = version;
    if (!threat.empty()) {
        result.row = rowFor(file, length, std::move(threat), kChecksumAdvice, stamp);
    }
    return result;
}

bool PrefetchFile(const WalkedFile& file, const FileCheckContext& context) {
    if (InQuarantine(file.folder, context.quarantineFolder)) {
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
