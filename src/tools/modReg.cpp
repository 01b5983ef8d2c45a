#include "tools/modReg.h"

#include "platform/AtomicFile.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace modReg {

namespace {

constexpr std::size_t kMaxStoreFile = 1024 * 1024;
constexpr char kValuesFile[] = "values";
constexpr char kRuleHeader[] = "# Kesto Virus Scanner USB storage lock: Start=";
constexpr char kBlockLine[] = "install usb_storage /bin/false";

thread_local std::error_code t_lastError;

long fail(std::error_code error, long status) {
    t_lastError = error;
    return status;
}

long statusFor(const std::error_code& error) {
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
        error == std::errc::read_only_file_system) {
        return ERROR_ACCESS_DENIED;
    }
    if (error == std::errc::no_such_file_or_directory) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_WRITE_FAULT;
}

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

const char* hiveName(std::uint32_t root) {
    switch (root) {
    case 0x80000000U:
        return "HKEY_CLASSES_ROOT";
    case 0x80000001U:
        return "HKEY_CURRENT_USER";
    case 0x80000002U:
        return "HKEY_LOCAL_MACHINE";
    case 0x80000003U:
        return "HKEY_USERS";
    case 0x80000004U:
        return "HKEY_PERFORMANCE_DATA";
    case 0x80000005U:
        return "HKEY_CURRENT_CONFIG";
    default:
        return nullptr;
    }
}

/// The folder names of a key path; nothing when a component could leave its parent or is empty.
std::optional<std::vector<std::string>> componentsOf(const std::string& path) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        std::string component = path.substr(start, end - start);
        if (component.empty() || component.front() == '.' ||
            component.find('/') != std::string::npos || component.find('\0') != std::string::npos ||
            component.size() > 255) {
            return std::nullopt;
        }
        components.push_back(lower(std::move(component)));
        start = end + 1;
    }
    return components;
}

std::error_code openOrMake(platform::FolderHandle& folder, const std::string& name, bool create) {
    platform::FolderHandle child;
    std::error_code error = child.openChild(folder, name);
    if (error == std::errc::no_such_file_or_directory && create) {
        if (mkdirat(folder.fd(), name.c_str(), 0755) != 0 && errno != EEXIST) {
            return {errno, std::generic_category()};
        }
        error = child.openChild(folder, name);
    }
    if (!error) {
        folder = std::move(child);
    }
    return error;
}

/// Reads a small regular file of an open folder; a link or anything but a regular file fails.
std::error_code readSmallFile(const platform::FolderHandle& folder, const char* name,
                              std::string& text) {
    const int fd = openat(folder.fd(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {errno, std::generic_category()};
    }
    std::error_code error;
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        error = {errno, std::generic_category()};
    } else if (!S_ISREG(info.st_mode)) {
        error = std::make_error_code(std::errc::invalid_argument);
    } else if (static_cast<std::uint64_t>(info.st_size) > kMaxStoreFile) {
        error = std::make_error_code(std::errc::file_too_large);
    }
    text.clear();
    char buffer[8192];
    while (!error) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = {errno, std::generic_category()};
        } else if (got == 0) {
            break;
        } else if (text.size() + static_cast<std::size_t>(got) > kMaxStoreFile) {
            error = std::make_error_code(std::errc::file_too_large);
        } else {
            text.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return error;
}

struct StoredValue {
    std::string name;
    int type = 0;
    std::string data;
};

std::string escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

/// The values of a store file; malformed lines are skipped, the first of duplicates wins.
std::vector<StoredValue> parseValues(const std::string& text) {
    std::vector<StoredValue> values;
    std::unordered_set<std::string> seen;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) {
            continue;
        }
        auto name = unescape(line.substr(0, tab1));
        auto data = unescape(line.substr(tab2 + 1));
        int type = 0;
        const std::string typeText = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const auto [end2, ec] =
            std::from_chars(typeText.data(), typeText.data() + typeText.size(), type);
        if (!name || !data || ec != std::errc() || end2 != typeText.data() + typeText.size()) {
            continue;
        }
        // A set keeps a hostile file of many short lines from costing quadratic time.
        std::string key = lower(*name);
        if (seen.insert(key).second) {
            values.push_back({std::move(key), type, *data});
        }
    }
    return values;
}

/// The text as a 32-bit number, as the classic conversion reads it (blanks around, a sign);
/// nothing when it is not one.
std::optional<std::uint32_t> numberFrom(const Value& value) {
    if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        return *number;
    }
    const auto* text = std::get_if<std::string>(&value);
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::size_t first = text->find_first_not_of(' ');
    const std::size_t last = text->find_last_not_of(' ');
    if (first == std::string::npos) {
        return std::nullopt;
    }
    std::string digits = text->substr(first, last - first + 1);
    const bool negative = digits.front() == '-';
    if (negative || digits.front() == '+') {
        digits.erase(0, 1);
    }
    std::uint64_t number = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    if (negative ? number > 0x80000000ULL : number > 0xFFFFFFFFULL) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(negative ? (0x100000000ULL - number) & 0xFFFFFFFFULL
                                               : number);
}

bool isStart(const std::string& name) {
    return lower(name) == "start";
}

long setRuleValue(const KeyHandle& key, const std::string& name, int type, const Value& value) {
    if (!isStart(name) || type != REG_DWORD) {
        return fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_PARAMETER);
    }
    const auto number = numberFrom(value);
    if (!number) {
        return fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_DATA);
    }
    if (!key.folder.isOpen()) {
        return fail(std::make_error_code(std::errc::no_such_file_or_directory),
                    ERROR_FILE_NOT_FOUND);
    }
    if (const std::error_code error =
            platform::replaceFileIn(key.folder, kRuleFileName, RuleFileText(*number), 0644)) {
        return fail(error, statusFor(error));
    }
    return ERROR_SUCCESS;
}

/// Reads the rule file of an open rule folder; a closed folder or a missing file is an empty
/// text, as the drivers then load as they would without the program.
std::error_code readRuleFile(const platform::FolderHandle& folder, std::string& text) {
    text.clear();
    const std::error_code error =
        folder.isOpen() ? readSmallFile(folder, kRuleFileName, text) : std::error_code();
    return error == std::errc::no_such_file_or_directory ? std::error_code() : error;
}

long queryRuleValue(const KeyHandle& key, const std::string& name, Value& value) {
    if (!isStart(name)) {
        return fail(std::make_error_code(std::errc::no_such_file_or_directory),
                    ERROR_FILE_NOT_FOUND);
    }
    std::string text;
    if (const std::error_code error = readRuleFile(key.folder, text)) {
        return fail(error, statusFor(error));
    }
    value = StartFromRuleText(text);
    return ERROR_SUCCESS;
}

/// The words of a rule file line, split at blanks and tabs.
std::vector<std::string> wordsOf(const std::string& line) {
    std::vector<std::string> words;
    std::size_t start = line.find_first_not_of(" \t\r");
    while (start != std::string::npos) {
        const std::size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
        words.push_back(line.substr(start, end - start));
        start = line.find_first_not_of(" \t\r", end);
    }
    return words;
}

} // namespace

std::string ValueText(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        return std::to_string(*number);
    }
    return {};
}

std::string RuleFileText(std::uint32_t start) {
    std::string text = kRuleHeader + std::to_string(start) + "\n";
    if (start == 4) {
        text += "blacklist usb_storage\n";
        text += std::string(kBlockLine) + "\n";
        text += "blacklist uas\n";
        text += "install uas /bin/false\n";
    }
    return text;
}

std::uint32_t StartFromRuleText(const std::string& text) {
    const std::string header = kRuleHeader;
    if (text.compare(0, header.size(), header) == 0) {
        const std::size_t end = text.find('\n');
        const auto number = numberFrom(Value{text.substr(
            header.size(), end == std::string::npos ? std::string::npos : end - header.size())});
        if (number) {
            return *number;
        }
    }
    return text.find(kBlockLine) != std::string::npos ? 4U : 3U;
}

int BlockingLinesIn(const std::string& text) {
    static constexpr const char* kDrivers[] = {"usb_storage", "uas"};
    // One bit for each of the four lines, so that a repeated line counts once.
    unsigned found = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::vector<std::string> words = wordsOf(text.substr(start, end - start));
        start = end + 1;
        if (words.size() < 2 || words[0].front() == '#') {
            continue;
        }
        // modprobe takes '-' and '_' in a module name alike.
        std::replace(words[1].begin(), words[1].end(), '-', '_');
        for (unsigned driver = 0; driver < 2; ++driver) {
            if (words[1] != kDrivers[driver]) {
                continue;
            }
            if (words.size() == 2 && words[0] == "blacklist") {
                found |= 1U << (2 * driver);
            } else if (words.size() == 3 && words[0] == "install" && words[2] == "/bin/false") {
                found |= 2U << (2 * driver);
            }
        }
    }
    return std::popcount(found);
}

std::error_code ReadRuleText(const Locations& where, std::string& text) {
    text.clear();
    platform::FolderHandle folder;
    const std::error_code error = folder.openPath(where.ruleFolder);
    if (error) {
        return error == std::errc::no_such_file_or_directory ? std::error_code() : error;
    }
    return readRuleFile(folder, text);
}

long RegOpenKey(std::uint32_t root, const std::string& path, bool create, KeyHandle& key,
                const Locations& where) {
    key = KeyHandle{};
    key.where = where;
    key.root = root;
    const char* hive = hiveName(root);
    const auto components = componentsOf(path);
    if (hive == nullptr || !components) {
        return fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_PARAMETER);
    }
    if (root == HKEY_LOCAL_MACHINE && lower(path) == lower(kUsbStorKey)) {
        key.usbStor = true;
        std::error_code error = key.folder.openPath(where.ruleFolder);
        if (error == std::errc::no_such_file_or_directory && create) {
            error = platform::createFolders(where.ruleFolder);
            error = error ? error : key.folder.openPath(where.ruleFolder);
        }
        if (error && (create || error != std::errc::no_such_file_or_directory)) {
            return fail(error, statusFor(error));
        }
        return ERROR_SUCCESS;
    }
    std::error_code error = key.folder.openPath(where.storeRoot);
    if (error == std::errc::no_such_file_or_directory && create) {
        error = platform::createFolders(where.storeRoot);
        error = error ? error : key.folder.openPath(where.storeRoot);
    }
    error = error ? error : openOrMake(key.folder, hive, create);
    for (std::size_t i = 0; !error && i < components->size(); ++i) {
        error = openOrMake(key.folder, (*components)[i], create);
    }
    if (error) {
        key.folder.close();
        return fail(error, statusFor(error));
    }
    return ERROR_SUCCESS;
}

bool RegEnsureKey(std::uint32_t root, const std::string& path, const Locations& where) {
    KeyHandle key;
    return RegOpenKey(root, path, true, key, where) == ERROR_SUCCESS;
}

bool RegWriteValue(std::uint32_t root, const std::string& path, const std::string& name,
                   Value& value, int type, const Locations& where) {
    const std::error_code ensureError =
        RegEnsureKey(root, path, where) ? std::error_code() : RegLastError();
    if (const auto* text = std::get_if<std::string>(&value); text != nullptr && text->empty()) {
        value = std::string(" ");
    }
    KeyHandle key;
    const bool written = RegOpenKey(root, path, false, key, where) == ERROR_SUCCESS &&
                         RegSetTyped(key, name, type, value) == ERROR_SUCCESS;
    // A key (or rule folder) that is missing because it could not be made, say for want of the
    // right to make it, fails for that reason rather than for being missing.
    if (!written && ensureError && RegLastError() == std::errc::no_such_file_or_directory) {
        t_lastError = ensureError;
    }
    return written;
}

Value RegReadValue(std::uint32_t root, const std::string& path, const std::string& name,
                   const Locations& where) {
    KeyHandle key;
    Value value;
    if (RegOpenKey(root, path, false, key, where) != ERROR_SUCCESS ||
        RegQueryTyped(key, name, value) != ERROR_SUCCESS) {
        return {};
    }
    if (const auto* text = std::get_if<std::string>(&value); text != nullptr && *text == " ") {
        return std::string();
    }
    return value;
}

long RegSetTyped(const KeyHandle& key, const std::string& name, int type, const Value& value) {
    if (name.find('\0') != std::string::npos) {
        return fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_PARAMETER);
    }
    if (key.usbStor) {
        return setRuleValue(key, name, type, value);
    }
    std::string data;
    if (type == REG_SZ) {
        data = ValueText(value);
        if (std::holds_alternative<std::monostate>(value) || data.find('\0') != std::string::npos) {
            return fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_DATA);
        }
    } else if (type == REG_DWORD) {
        const auto number = numberFrom(value);
        if (!number) {
            return fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_DATA);
        }
        data = std::to_string(*number);
    } else {
        return fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_PARAMETER);
    }
    if (!key.folder.isOpen()) {
        return fail(std::make_error_code(std::errc::bad_file_descriptor), ERROR_INVALID_PARAMETER);
    }
    std::string text;
    const std::error_code readError = readSmallFile(key.folder, kValuesFile, text);
    if (readError && readError != std::errc::no_such_file_or_directory) {
        return fail(readError, statusFor(readError));
    }
    std::string out;
    const std::string own = lower(name);
    for (const StoredValue& stored : parseValues(text)) {
        if (stored.name != own) {
            out += escape(stored.name) + "\t" + std::to_string(stored.type) + "\t" +
                   escape(stored.data) + "\n";
        }
    }
    out += escape(own) + "\t" + std::to_string(type) + "\t" + escape(data) + "\n";
    if (const std::error_code error = platform::replaceFileIn(key.folder, kValuesFile, out, 0644)) {
        return fail(error, statusFor(error));
    }
    return ERROR_SUCCESS;
}

long RegQueryTyped(const KeyHandle& key, const std::string& name, Value& value) {
    if (key.usbStor) {
        return queryRuleValue(key, name, value);
    }
    if (!key.folder.isOpen()) {
        return fail(std::make_error_code(std::errc::bad_file_descriptor), ERROR_INVALID_PARAMETER);
    }
    std::string text;
    if (const std::error_code error = readSmallFile(key.folder, kValuesFile, text)) {
        return fail(error, statusFor(error));
    }
    const std::string own = lower(name);
    for (const StoredValue& stored : parseValues(text)) {
        if (stored.name != own) {
            continue;
        }
        if (stored.type == REG_SZ) {
            value = stored.data;
            return ERROR_SUCCESS;
        }
        if (stored.type == REG_DWORD) {
            const auto number = numberFrom(Value{stored.data});
            if (!number) {
                return fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_DATA);
            }
            value = *number;
            return ERROR_SUCCESS;
        }
        return -1;
    }
    return fail(std::make_error_code(std::errc::no_such_file_or_directory), ERROR_FILE_NOT_FOUND);
}

std::error_code RegLastError() {
    return t_lastError;
}

} // namespace modReg
