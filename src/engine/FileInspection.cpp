#include "engine/FileInspection.h"

#include "engine/KestoEngine.h"
#include "engine/clsCRC.h"
#include "platform/InputFile.h"

#include <system_error>

bool CanMarkChecksum(unsigned long long length, const std::string& checksumText) {
    if (static_cast<double>(length) / 1024.0 > 750.0) {
        return false;
    }
    return !checksumText.empty() && checksumText != "0";
}

std::optional<std::string> ChecksumToMark(bool ticked, const std::string& shownChecksum) {
    if (!ticked || shownChecksum.empty() || shownChecksum == "0") {
        return std::nullopt;
    }
    return shownChecksum;
}

FileInspection InspectFile(const std::string& path) {
    FileInspection result;
    clsCRC crc;
    result.checksum = ChecksumText(crc.CalculateFile(path));
    try {
        result.packer = KestoEngine::DetectPacker(path);
        result.compiler = KestoEngine::DetectCompiler(path);
        result.type = KestoEngine::FileTypeName(path);
        platform::FileStamp stamp;
        if (const auto ec = platform::statFile(path, stamp)) {
            throw std::system_error(ec, path);
        }
        result.canMark = CanMarkChecksum(stamp.size, result.checksum);
    } catch (const std::system_error& error) {
        result.error = error.code().message();
    }
    return result;
}
