#include "scanner/QuarantineRecord.h"

#include "platform/Digest.h"
#include "platform/PathText.h"

#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>

namespace {

constexpr std::string_view kQuarantinedSuffix = "_vir";
constexpr std::string_view kRecordSuffix = ".rec";
// The first member names the document's kind and version.
constexpr const char* kFormatKey = "kesto-quarantine-record";
constexpr int kFormatVersion = 1;

using Json = nlohmann::json;

/// Reads the member `key` of `document` into `out`; false (with `problem` set) when it is missing
/// or of another kind.
bool readText(const Json& document, const char* key, std::string& out, std::string& problem) {
    const auto found = document.find(key);
    if (found == document.end() || !found->is_string()) {
        problem = std::string("\"") + key + "\" is missing or not a text";
        return false;
    }
    out = found->get<std::string>();
    return true;
}

template <class Number>
bool readNumber(const Json& document, const char* key, Number& out, std::string& problem) {
    const auto found = document.find(key);
    if (found == document.end() || !found->is_number_unsigned() ||
        found->get<std::uint64_t>() > std::numeric_limits<Number>::max()) {
        problem = std::string("\"") + key + "\" is missing or not a whole number in range";
        return false;
    }
    out = static_cast<Number>(found->get<std::uint64_t>());
    return true;
}

bool isHex(std::string_view text) {
    return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

bool isChecksumText(std::string_view text) {
    return !text.empty() && text.size() <= 8 &&
           text.find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
}

/// "0755" read as octal; no value for anything else or a mode above 07777.
std::optional<std::uint32_t> modeFrom(std::string_view text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("01234567") != std::string_view::npos) {
        return std::nullopt;
    }
    std::uint32_t mode = 0;
    for (const char c : text) {
        mode = mode * 8 + static_cast<std::uint32_t>(c - '0');
    }
    return mode <= 07777 ? std::optional(mode) : std::nullopt;
}

bool isUtcTime(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SSZ
    constexpr std::string_view kPattern = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != kPattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i]) {
            return false;
        }
    }
    return true;
}

std::optional<QuarantineRecord> parseDocument(const Json& document, std::string& problem) {
    if (!document.is_object()) {
        problem = "not a quarantine record";
        return std::nullopt;
    }
    const auto format = document.find(kFormatKey);
    if (format == document.end()) {
        problem = "not a quarantine record";
        return std::nullopt;
    }
    if (!format->is_number_unsigned() || format->get<std::uint64_t>() != kFormatVersion) {
        problem = "a quarantine record of an unknown version";
        return std::nullopt;
    }
    QuarantineRecord record;
    std::string encoded;
    std::string mode;
    if (!readText(document, "location-base64", encoded, problem) ||
        !readText(document, "threat", record.threat, problem) ||
        !readText(document, "checksum", record.checksum, problem) ||
        !readText(document, "sha256", record.sha256, problem) ||
        !readNumber(document, "size", record.size, problem) ||
        !readText(document, "mode", mode, problem) ||
        !readNumber(document, "uid", record.uid, problem) ||
        !readNumber(document, "gid", record.gid, problem) ||
        !readText(document, "quarantined", record.quarantinedAt, problem) ||
        !readNumber(document, "device", record.device, problem) ||
        !readNumber(document, "inode", record.inode, problem)) {
        return std::nullopt;
    }
    const std::optional<std::string> location = platform::fromBase64(encoded);
    if (!location) {
        problem = "\"location-base64\" is not base64";
        return std::nullopt;
    }
    record.location = *location;
    // An absolute path to a file: it names a folder and a file in it, and holds no zero byte.
    const std::size_t root = platform::pathRootLength(record.location);
    if (root == 0 || record.location.size() <= root ||
        platform::isPathSeparator(record.location.back()) ||
        record.location.find('\0') != std::string::npos) {
        problem = "the original location is not the full path of a file";
        return std::nullopt;
    }
    const std::optional<std::uint32_t> bits = modeFrom(mode);
    if (!bits) {
        problem = "\"mode\" is not an octal file mode";
        return std::nullopt;
    }
    record.mode = *bits;
    if (record.sha256.size() != 64 || !isHex(record.sha256)) {
        problem = "\"sha256\" is not a SHA-256 in hexadecimal";
        return std::nullopt;
    }
    if (!isChecksumText(record.checksum)) {
        problem = "\"checksum\" is not a checksum text";
        return std::nullopt;
    }
    if (!isUtcTime(record.quarantinedAt)) {
        problem = "\"quarantined\" is not a UTC time";
        return std::nullopt;
    }
    return record;
}

} // namespace

std::string RecordNameFor(std::string_view quarantinedName) {
    if (quarantinedName.size() <= kQuarantinedSuffix.size() ||
        !quarantinedName.ends_with(kQuarantinedSuffix)) {
        return {};
    }
    quarantinedName.remove_suffix(kQuarantinedSuffix.size());
    return std::string(quarantinedName) + std::string(kRecordSuffix);
}

std::string QuarantinedNameFor(std::string_view recordName) {
    if (recordName.size() <= kRecordSuffix.size() || !recordName.ends_with(kRecordSuffix)) {
        return {};
    }
    recordName.remove_suffix(kRecordSuffix.size());
    return std::string(recordName) + std::string(kQuarantinedSuffix);
}

std::string RecordText(const QuarantineRecord& record) {
    // nlohmann::ordered_json keeps the members in the order written, for readers.
    nlohmann::ordered_json document;
    document[kFormatKey] = kFormatVersion;
    document["location"] = record.location;
    document["location-base64"] = platform::toBase64(record.location);
    document["threat"] = record.threat;
    document["checksum"] = record.checksum;
    document["sha256"] = record.sha256;
    document["size"] = record.size;
    document["mode"] = ModeText(record.mode);
    document["uid"] = record.uid;
    document["gid"] = record.gid;
    document["quarantined"] = record.quarantinedAt;
    document["device"] = record.device;
    document["inode"] = record.inode;
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<QuarantineRecord> ParseRecord(std::string_view text, std::string& problem) {
    problem.clear();
    if (text.size() > kRecordSizeLimit) {
        problem = "too large for a quarantine record";
        return std::nullopt;
    }
    // Parsing without exceptions: a damaged document is "discarded". Reading members checks
    // their kinds first, so nothing below throws; the catch is for the library's own limits.
    try {
        const Json document = Json::parse(text, nullptr, false);
        if (document.is_discarded()) {
            problem = "not valid JSON";
            return std::nullopt;
        }
        return parseDocument(document, problem);
    } catch (const Json::exception& error) {
        problem = std::string("unreadable: ") + error.what();
        return std::nullopt;
    }
}

std::string ModeText(std::uint32_t mode) {
    std::string text;
    for (int shift = 9; shift >= 0; shift -= 3) {
        text += static_cast<char>('0' + ((mode >> shift) & 7));
    }
    return text;
}

std::string UtcTimeText(std::int64_t secondsSinceEpoch) {
    const auto time = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm utc{};
    char buffer[32] = {};
#ifdef _WIN32
    const bool converted = gmtime_s(&utc, &time) == 0;
#else
    const bool converted = gmtime_r(&time, &utc) != nullptr;
#endif
    if (!converted || std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) {
        return "1970-01-01T00:00:00Z";
    }
    return buffer;
}
