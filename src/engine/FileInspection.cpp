#include "engine/FileInspection.h"

#include "engine/KestoEngine.h"
#include "engine/clsCRC.h"
#include "platform/FileHashes.h"
#include "platform/InputFile.h"

#include <system_error>

namespace {

/// SHA-256 of the whole file at `path`; throws std::system_error when it cannot be read.
std::string fileSha256(const std::string& path) {
    platform::InputFile file;
    if (const auto ec = file.open(path)) {
        throw std::system_error(ec, path);
    }
    platform::MultiHasher hasher(platform::kindBit(platform::HashKind::Sha256));
    std::string piece(std::size_t{1} << 20, '\0');
    for (;;) {
        std::error_code ec;
        const std::size_t got = file.read(piece.data(), piece.size(), ec);
        if (ec) {
            throw std::system_error(ec, path);
        }
        if (got == 0) {
            break;
        }
        hasher.update(std::string_view(piece.data(), got));
    }
    if (!hasher.ready()) {
        throw std::system_error(std::make_error_code(std::errc::not_supported), path);
    }
    return platform::digestHex(platform::HashKind::Sha256,
                               hasher.finish().of(platform::HashKind::Sha256));
}

} // namespace

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
        result.sha256 = fileSha256(path);
    } catch (const std::system_error& error) {
        result.error = error.code().message();
    }
    return result;
}
