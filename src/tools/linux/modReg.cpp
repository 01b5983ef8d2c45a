#include "tools/modReg.h"

#include "platform/AtomicFile.h"
#include "platform/ChildFolder.h"
#include "platform/EntryStamp.h"
#include "platform/FileFacts.h"
#include "platform/FileOps.h"
#include "tools/StoreFormat.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace modReg {

namespace {

constexpr std::uint64_t kMaxValuesFile = 1024 * 1024;

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
        components.push_back(StoreName(std::move(component)));
        start = end + 1;
    }
    return components;
}

std::error_code openOrMake(platform::FolderHandle& folder, const std::string& name, bool create) {
    platform::FolderHandle child;
    std::error_code error = child.openChild(folder, name);
    if (error == std::errc::no_such_file_or_directory && create) {
        if (const std::error_code made = platform::makeChildFolder(folder, name, 0755);
            made && made != std::errc::file_exists) {
            return made;
        }
        error = child.openChild(folder, name);
    }
    if (!error) {
        folder = std::move(child);
    }
    return error;
}

/// Reads the values file of an open key folder; a link or anything but a regular file fails.
std::error_code readValuesFile(const platform::FolderHandle& folder, std::string& text) {
    platform::FileFacts facts;
    return platform::readFileAt(folder, kValuesFile, kMaxValuesFile, text, facts);
}

bool isStart(const std::string& name) {
    return StoreName(name) == "start";
}

long setRuleValue(const KeyHandle& key, const std::string& name, int type, const Value& value) {
    if (!isStart(name) || type != REG_DWORD) {
        return Fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_PARAMETER);
    }
    const auto number = NumberFrom(value);
    if (!number) {
        return Fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_DATA);
    }
    if (!key.folder.isOpen()) {
        return Fail(std::make_error_code(std::errc::no_such_file_or_directory),
                    ERROR_FILE_NOT_FOUND);
    }
    if (const std::error_code error = WriteRuleFile(key.folder, *number)) {
        return Fail(error, statusFor(error));
    }
    return ERROR_SUCCESS;
}

long queryRuleValue(const KeyHandle& key, const std::string& name, Value& value) {
    if (!isStart(name)) {
        return Fail(std::make_error_code(std::errc::no_such_file_or_directory),
                    ERROR_FILE_NOT_FOUND);
    }
    std::string text;
    if (const std::error_code error = ReadRuleFile(key.folder, text)) {
        return Fail(error, statusFor(error));
    }
    value = StartFromRuleText(text);
    return ERROR_SUCCESS;
}

/// Reads the rule file; a missing rule folder or file reads as an empty text.
std::error_code readRuleText(const Locations& where, std::string& text) {
    text.clear();
    platform::FolderHandle folder;
    const std::error_code error = folder.openPath(where.ruleFolder);
    if (error) {
        return error == std::errc::no_such_file_or_directory ? std::error_code() : error;
    }
    return ReadRuleFile(folder, text);
}

/// What tells one state of the rule file from another without reading it: "none" while there is
/// no file, empty when that cannot be told (say, the folder cannot be searched).
std::string ruleFileStamp(const std::string& path) {
    platform::FileStamp stamp;
    if (const std::error_code error = platform::entryStamp(path, stamp)) {
        return error == std::errc::no_such_file_or_directory ? "none" : "";
    }
    return std::to_string(stamp.device) + ":" + std::to_string(stamp.inode) + ":" +
           std::to_string(stamp.size) + ":" + std::to_string(stamp.modifiedNs) + ":" +
           std::to_string(stamp.changedNs);
}

} // namespace

UsbStorReading ReadUsbStor(const Locations& where) {
    std::string text;
    if (readRuleText(where, text)) {
        return {Value(), 0, Found::Unreadable};
    }
    return {StartFromRuleText(text), BlockingLinesIn(text), Found::Read};
}

std::string UsbStorStamp(const Locations& where) {
    return ruleFileStamp(where.ruleFolder + "/" + kRuleFileName);
}

std::string UsbStorPlace(const Locations& where) {
    return "rule in " + where.ruleFolder;
}

UsbStorWords UsbStorWordsHere() {
    return {"Root", "rule", "rule file", "rule folder"};
}

long RegOpenKey(std::uint32_t root, const std::string& path, bool create, KeyHandle& key,
                const Locations& where) {
    key = KeyHandle{};
    key.where = where;
    key.root = root;
    const char* hive = hiveName(root);
    const auto components = componentsOf(path);
    if (hive == nullptr || !components) {
        return Fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_PARAMETER);
    }
    if (root == HKEY_LOCAL_MACHINE && StoreName(path) == StoreName(kUsbStorKey)) {
        key.usbStor = true;
        std::error_code error = key.folder.openPath(where.ruleFolder);
        if (error == std::errc::no_such_file_or_directory && create) {
            error = platform::createFolders(where.ruleFolder);
            error = error ? error : key.folder.openPath(where.ruleFolder);
        }
        if (error && (create || error != std::errc::no_such_file_or_directory)) {
            return Fail(error, statusFor(error));
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
        return Fail(error, statusFor(error));
    }
    return ERROR_SUCCESS;
}

long RegSetTyped(const KeyHandle& key, const std::string& name, int type, const Value& value) {
    if (name.find('\0') != std::string::npos) {
        return Fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_PARAMETER);
    }
    if (key.usbStor) {
        return setRuleValue(key, name, type, value);
    }
    std::string data;
    if (type == REG_SZ) {
        data = ValueText(value);
        if (std::holds_alternative<std::monostate>(value) || data.find('\0') != std::string::npos) {
            return Fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_DATA);
        }
    } else if (type == REG_DWORD) {
        const auto number = NumberFrom(value);
        if (!number) {
            return Fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_DATA);
        }
        data = std::to_string(*number);
    } else {
        return Fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_PARAMETER);
    }
    if (!key.folder.isOpen()) {
        return Fail(std::make_error_code(std::errc::bad_file_descriptor), ERROR_INVALID_PARAMETER);
    }
    std::string text;
    const std::error_code readError = readValuesFile(key.folder, text);
    if (readError && readError != std::errc::no_such_file_or_directory) {
        return Fail(readError, statusFor(readError));
    }
    // The value takes the place of any of its name, at the end.
    std::vector<StoredValue> values = ParseValues(text);
    const std::string own = StoreName(name);
    std::erase_if(values, [&own](const StoredValue& stored) { return stored.name == own; });
    values.push_back({own, type, data});
    if (const std::error_code error =
            platform::replaceFileIn(key.folder, kValuesFile, ValuesText(values), 0644)) {
        return Fail(error, statusFor(error));
    }
    return ERROR_SUCCESS;
}

long RegQueryTyped(const KeyHandle& key, const std::string& name, Value& value) {
    if (key.usbStor) {
        return queryRuleValue(key, name, value);
    }
    if (!key.folder.isOpen()) {
        return Fail(std::make_error_code(std::errc::bad_file_descriptor), ERROR_INVALID_PARAMETER);
    }
    std::string text;
    if (const std::error_code error = readValuesFile(key.folder, text)) {
        return Fail(error, statusFor(error));
    }
    const std::string own = StoreName(name);
    for (const StoredValue& stored : ParseValues(text)) {
        if (stored.name != own) {
            continue;
        }
        if (stored.type == REG_SZ) {
            value = stored.data;
            return ERROR_SUCCESS;
        }
        if (stored.type == REG_DWORD) {
            const auto number = NumberFrom(Value{stored.data});
            if (!number) {
                return Fail(std::make_error_code(std::errc::invalid_argument), ERROR_INVALID_DATA);
            }
            value = *number;
            return ERROR_SUCCESS;
        }
        return -1;
    }
    return Fail(std::make_error_code(std::errc::no_such_file_or_directory), ERROR_FILE_NOT_FOUND);
}

} // namespace modReg
