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

} // namespace

bool InQuarantine(std::string_view folder, std::string_view quarantineFolder) {
    return !quarantineFolder.empty() &&
           folder.substr(0, quarantineFolder.size()) == quarantineFolder;
}

std::optional<DetectionEntry> CheckFile(std::string_view folder, std::string_view name,
                                        std::uint64_t length, const FileCheckContext& context,
                                        platform::ReadBuffer& buffer) {
    if (InQuarantine(folder, context.quarantineFolder) || kilobytes(length) >= kExamineLimitKb) {
        return std::nullopt;
    }
    const bool program = isProgram(name);
    const bool checksummed = kilobytes(length) < kChecksumLimitKb;
    if (!program && !checksummed) {
        return std::nullopt;
    }
    std::string path(folder);
    path += name;
    // A file of no length is not read: some kernel files report none and never end.
    bool readable = length > 0;
    if (readable) {
        const auto ec =
            buffer.readFile(path, platform::Follow::WalkedRegularFile, kExamineLimitBytes - 1);
        if (ec == std::errc::file_too_large) {
            return std::nullopt; // grew past the examination limit since the walk
        }
        readable = !ec;
    }
    const std::string_view content = readable ? buffer.view() : std::string_view();

    if (program && readable) {
        if (const auto match = StringSignature::FirstVirusPattern(content)) {
            const bool larger = static_cast<std::uint64_t>(std::max(match->size, 0)) < length;
            return DetectionEntry{match->name, path, std::to_string(length),
                                  larger ? kInfectedFileInformation : ""};
        }
    }
    if (!checksummed) {
        return std::nullopt;
    }
    // An unreadable or empty file has no checksum; its text "0" is looked up like any other.
    CrcResult crc;
    if (readable && !content.empty()) {
        crc = clsCRC().CalculateBytes(content);
    }
    std::string threat;
    try {
        threat = KestoEngine::LookupChecksum(context.database, ChecksumText(crc));
    } catch (const DatabaseError&) {
        return std::nullopt;
    }
    if (threat.empty()) {
        return std::nullopt;
    }
    return DetectionEntry{threat, path, std::to_string(length), kChecksumAdvice};
}
