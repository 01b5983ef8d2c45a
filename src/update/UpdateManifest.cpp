#include "update/UpdateManifest.h"

#include <array>
#include <nlohmann/json.hpp>
#include <set>

namespace {

using Json = nlohmann::json;

constexpr std::uint64_t kFileSizeLimit = 1ull << 30;
constexpr std::uint64_t kSetSizeLimit = 4ull << 30;
constexpr std::size_t kFileCountLimit = 10000;
constexpr std::size_t kNameLengthLimit = 255;
constexpr std::array<std::string_view, 5> kExtensions = {".hashes", ".hsb", ".hdb", ".yar",
                                                         ".yara"};

/// The member `key` of `object` when it is there; none otherwise.
const Json* member(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

/// A positive whole number (JSON's unsigned integers; negative, fractional and other values are
/// none).
std::optional<std::uint64_t> wholeNumber(const Json* value) {
    if (value == nullptr || !value->is_number_unsigned()) {
        return std::nullopt;
    }
    return value->get<std::uint64_t>();
}

bool isDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (const std::size_t at : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[at] < '0' || text[at] > '9') {
            return false;
        }
    }
    const int month = (text[5] - '0') * 10 + (text[6] - '0');
    const int day = (text[8] - '0') * 10 + (text[9] - '0');
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

bool isSha256(const std::string& text) {
    if (text.size() != 64) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

/// Why `name` may not name a file of a set, or empty. Every file is written into the set's own
/// folder under this name, so a name must be one plain name that no other entry of the set uses.
std::string nameRefusal(const std::string& name) {
    if (name.empty()) {
        return "an empty name";
    }
    if (name.size() > kNameLengthLimit) {
        return "a name longer than 255 bytes";
    }
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        return "a path, not a plain name";
    }
    if (name.front() == '.') {
        return "a name that starts with \".\"";
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return "a control character in its name";
        }
    }
    if (name == kManifestName || name == kManifestSignatureName) {
        return "the manifest's own name";
    }
    for (const std::string_view extension : kExtensions) {
        if (name.size() > extension.size() && name.ends_with(extension)) {
            return {};
        }
    }
    return "not a signature file (.hashes, .hsb, .hdb, .yar or .yara)";
}

/// Printable text of a name for messages: control bytes and quotes as escapes, at most 80 bytes.
std::string shown(const std::string& name) {
    std::string text = "\"";
    for (const char c : name.substr(0, 80)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '"' || c == '\\') {
            static constexpr char kHex[] = "0123456789abcdef";
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        } else {
            text += c;
        }
    }
    return text + (name.size() > 80 ? "...\"" : "\"");
}

std::optional<ManifestFile> parseFile(const Json& entry, std::size_t index, std::string& error) {
    const std::string which = "file " + std::to_string(index + 1);
    if (!entry.is_object()) {
        error = which + " is not an object";
        return std::nullopt;
    }
    const Json* name = member(entry, "name");
    if (name == nullptr || !name->is_string()) {
        error = which + " has no \"name\" text";
        return std::nullopt;
    }
    ManifestFile file;
    file.name = name->get<std::string>();
    if (const std::string refusal = nameRefusal(file.name); !refusal.empty()) {
        error = which + " (" + shown(file.name) + ") is refused: " + refusal;
        return std::nullopt;
    }
    const std::optional<std::uint64_t> size = wholeNumber(member(entry, "size"));
    if (!size) {
        error = which + " (" + shown(file.name) + ") has no \"size\" as a whole number";
        return std::nullopt;
    }
    if (*size > kFileSizeLimit) {
        error = which + " (" + shown(file.name) + ") is larger than 1 GiB";
        return std::nullopt;
    }
    file.size = *size;
    const Json* sha256 = member(entry, "sha256");
    if (sha256 == nullptr || !sha256->is_string() || !isSha256(sha256->get<std::string>())) {
        error = which + " (" + shown(file.name) +
                ") has no \"sha256\" of 64 lowercase hexadecimal digits";
        return std::nullopt;
    }
    file.sha256 = sha256->get<std::string>();
    return file;
}

std::optional<UpdateManifest> parseDocument(const Json& document, std::string& error) {
    if (!document.is_object()) {
        error = "the manifest is not a JSON object";
        return std::nullopt;
    }
    const std::optional<std::uint64_t> format = wholeNumber(member(document, "format"));
    if (!format || *format != 1) {
        error = "the manifest's \"format\" is not 1";
        return std::nullopt;
    }
    UpdateManifest manifest;
    const std::optional<std::uint64_t> version = wholeNumber(member(document, "version"));
    if (!version || *version == 0) {
        error = "the manifest's \"version\" is not a whole number of at least 1";
        return std::nullopt;
    }
    manifest.version = *version;
    const Json* date = member(document, "date");
    if (date == nullptr || !date->is_string() || !isDate(date->get<std::string>())) {
        error = "the manifest's \"date\" is not a date (YYYY-MM-DD)";
        return std::nullopt;
    }
    manifest.date = date->get<std::string>();
    const Json* files = member(document, "files");
    if (files == nullptr || !files->is_array()) {
        error = "the manifest has no \"files\" list";
        return std::nullopt;
    }
    if (files->size() > kFileCountLimit) {
        error = "the manifest lists more than 10000 files";
        return std::nullopt;
    }
    std::set<std::string> names;
    std::uint64_t total = 0;
    for (std::size_t index = 0; index < files->size(); ++index) {
        std::optional<ManifestFile> file = parseFile((*files)[index], index, error);
        if (!file) {
            return std::nullopt;
        }
        if (!names.insert(file->name).second) {
            error = "the manifest lists " + shown(file->name) + " twice";
            return std::nullopt;
        }
        total += file->size; // at most 10000 sizes of at most 1 GiB: no overflow
        if (total > kSetSizeLimit) {
            error = "the manifest's files together are larger than 4 GiB";
            return std::nullopt;
        }
        manifest.files.push_back(std::move(*file));
    }
    return manifest;
}

} // namespace

std::optional<UpdateManifest> ParseUpdateManifest(std::string_view text, std::string& error) {
    error.clear();
    if (text.size() > kManifestLimit) {
        error = "the manifest is larger than 4 MiB";
        return std::nullopt;
    }
    // Parsing without exceptions: a damaged document is "discarded", and members are read only
    // after their kinds are checked. The catch is for the library's own limits.
    try {
        const Json document = Json::parse(text, nullptr, false);
        if (document.is_discarded()) {
            error = "the manifest is not valid JSON";
            return std::nullopt;
        }
        return parseDocument(document, error);
    } catch (const Json::exception& failure) {
        error = std::string("the manifest is unreadable: ") + failure.what();
        return std::nullopt;
    }
}
