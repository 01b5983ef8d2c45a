#include "scanner/FileCheck.h"

#include "engine/KestoEngine.h"
#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "engine/clsCRC.h"

namespace {

double kilobytes(std::uint64_t length) {
    return static_cast<double>(length) / 1024.0;
}

bool isProgram(std::string_view name) {
    const std::string type = KestoEngine::FileTypeName(name);
    return type == "Application" || type == "Screen Saver";
}

/// A file that is gone, or is no longer a regular file, has nothing left to examine.
bool vanished(std::error_code ec) {
    return ec == std::errc::no_such_file_or_directory || ec == platform::FileError::NotRegularFile;
}

DetectionEntry rowFor(const WalkedFile& file, std::string threat, std::string information,
                      const platform::FileStamp& stamp) {
    DetectionEntry row;
    row.name = std::move(threat);
    row.location = file.folder + file.name;
    row.size = std::to_string(file.size);
    row.information = std::move(information);
    row.folder = file.node;
    row.fileName = file.name;
    row.stamp = stamp;
    return row;
}

} // namespace

bool InQuarantine(std::string_view folder, std::string_view quarantineFolder) {
    while (quarantineFolder.size() > 1 && quarantineFolder.back() == '/') {
        quarantineFolder.remove_suffix(1);
    }
    if (quarantineFolder.empty() || !folder.starts_with(quarantineFolder)) {
        return false;
    }
    // The next character must end the quarantine folder's last name.
    return quarantineFolder == "/" || folder.size() == quarantineFolder.size() ||
           folder[quarantineFolder.size()] == '/';
}

FileCheckResult CheckFile(const WalkedFile& file, const FileCheckContext& context,
                          platform::ReadBuffer& buffer) {
    FileCheckResult result;
    const std::uint64_t length = file.size;
    if (InQuarantine(file.folder, context.quarantineFolder) ||
        kilobytes(length) >= kExamineLimitKb) {
        return result;
    }
    const bool program = isProgram(file.name);
    const bool checksummed = kilobytes(length) < kChecksumLimitKb;
    if (!program && !checksummed) {
        return result;
    }
    platform::FileStamp stamp;
    // A file of no length is not read: some kernel files report none and never end.
    bool readable = false;
    if (length > 0) {
        const auto ec =
            buffer.readFileAt(file.handle->fd(), file.name, kExamineLimitBytes - 1, stamp);
        if (ec == std::errc::file_too_large || vanished(ec)) {
            return result; // grew past the examination limit, or left, since the walk
        }
        if (ec) {
            result.unreadable = ec.message();
        }
        readable = !ec;
    } else if (const auto ec = file.handle->statFile(file.name, stamp); vanished(ec)) {
        return result;
    }
    const std::string_view content = readable ? buffer.view() : std::string_view();

    if (program && readable) {
        if (const auto match = StringSignature::FirstVirusPattern(content)) {
            const bool larger = static_cast<std::uint64_t>(std::max(match->size, 0)) < length;
            result.row = rowFor(file, match->name, larger ? kInfectedFileInformation : "", stamp);
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
    try {
        threat = KestoEngine::LookupChecksum(context.database, ChecksumText(crc));
    } catch (const DatabaseError& error) {
        result.lookupFailure = error.what();
        return result;
    }
    if (!threat.empty()) {
        result.row = rowFor(file, std::move(threat), kChecksumAdvice, stamp);
    }
    return result;
}
