#include "scanner/StreamCheck.h"

#include "engine/KestoEngine.h"
#include "engine/SignatureDatabase.h"
#include "engine/clsCRC.h"
#include "platform/InputStream.h"
#include "signatures/ExtraSignatures.h"

FileCheckResult CheckStream(int fd, const std::string& location, const FileCheckContext& context,
                            const std::function<bool()>& stopRequested, bool& stopped) {
    FileCheckResult result;
    constexpr auto kChecksumLimitBytes = static_cast<std::size_t>(kChecksumLimitKb * 1024.0);
    std::string content;
    std::error_code ec;
    stopped = false;
    do {
        ec = platform::readStream(fd, content, kChecksumLimitBytes - 1);
        stopped = ec == std::errc::interrupted && stopRequested();
    } while (ec == std::errc::interrupted && !stopped);
    if (stopped || ec == std::errc::file_too_large) {
        return result;
    }
    if (ec) {
        result.unreadable = ec.message();
        return result;
    }
    CrcResult crc;
    if (!content.empty()) {
        crc = clsCRC().CalculateBytes(content);
    }
    try {
        std::string threat = KestoEngine::LookupChecksum(context.database, ChecksumText(crc));
        if (!threat.empty()) {
            DetectionEntry row;
            row.name = std::move(threat);
            row.location = location;
            row.size = std::to_string(content.size());
            row.information = kChecksumAdvice;
            result.row = std::move(row);
        }
    } catch (const DatabaseError& error) {
        result.lookupFailure = error.what();
    }
    if (!result.row && context.extra != nullptr && context.extra->wantsContent(content.size())) {
        const ExtraVerdict verdict = context.extra->check(content, {}, location);
        if (!verdict.failure.empty()) {
            result.unreadable = verdict.failure;
        } else if (auto threat = context.extra->describe(verdict.source, verdict.item)) {
            DetectionEntry row;
            row.name = std::move(threat->name);
            row.location = location;
            row.size = std::to_string(content.size());
            row.information =
                threat->information.empty() ? kChecksumAdvice : std::move(threat->information);
            result.row = std::move(row);
        }
    }
    return result;
}
