#include "tools/modReg.h"

#include <algorithm>
#include <cctype>

namespace modReg {

namespace {

bool sameKeyPath(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

long failWith(long status) {
    return Fail(platform::registryError(status), status);
}

long invalid(long status) {
    return Fail(std::make_error_code(std::errc::invalid_argument), status);
}

/// The four bytes of a REG_DWORD, least significant first.
std::uint32_t numberOf(const std::string& data) {
    std::uint32_t number = 0;
    for (std::size_t i = 4; i > 0; --i) {
        number = (number << 8) | static_cast<unsigned char>(data[i - 1]);
    }
    return number;
}

std::string bytesOf(std::uint32_t number) {
    std::string data(4, '\0');
    for (char& byte : data) {
        byte = static_cast<char>(number & 0xFFU);
        number >>= 8;
    }
    return data;
}

} // namespace

long RegOpenKey(std::uint32_t root, const std::string& path, bool create, KeyHandle& key,
                const Locations& where) {
    key = KeyHandle{};
    key.where = where;
    key.root = root;
    if (path.empty() || path.find('\0') != std::string::npos) {
        return invalid(ERROR_INVALID_PARAMETER);
    }
    // The USB storage driver's key is wherever the locations put it.
    const bool usbStor = root == HKEY_LOCAL_MACHINE && sameKeyPath(path, kUsbStorKey);
    if (const long status = key.key.open(root, usbStor ? where.usbStorKey : path, create)) {
        return failWith(status);
    }
    return ERROR_SUCCESS;
}

long RegSetTyped(const KeyHandle& key, const std::string& name, int type, const Value& value) {
    if (name.find('\0') != std::string::npos) {
        return invalid(ERROR_INVALID_PARAMETER);
    }
    std::string data;
    if (type == REG_SZ) {
        data = ValueText(value);
        if (std::holds_alternative<std::monostate>(value) || data.find('\0') != std::string::npos) {
            return invalid(ERROR_INVALID_DATA);
        }
    } else if (type == REG_DWORD) {
        const auto number = NumberFrom(value);
        if (!number) {
            return invalid(ERROR_INVALID_DATA);
        }
        data = bytesOf(*number);
    } else {
        return invalid(ERROR_INVALID_PARAMETER);
    }
    if (!key.key.isOpen()) {
        return invalid(ERROR_INVALID_PARAMETER);
    }
    if (const long status = key.key.set(name, static_cast<std::uint32_t>(type), data)) {
        return failWith(status);
    }
    return ERROR_SUCCESS;
}

long RegQueryTyped(const KeyHandle& key, const std::string& name, Value& value) {
    if (!key.key.isOpen()) {
        return invalid(ERROR_INVALID_PARAMETER);
    }
    std::uint32_t type = 0;
    std::string data;
    if (const long status = key.key.query(name, type, data)) {
        return failWith(status);
    }
    if (type == REG_SZ) {
        value = data;
        return ERROR_SUCCESS;
    }
    if (type == REG_DWORD) {
        if (data.size() != 4) {
            return invalid(ERROR_INVALID_DATA);
        }
        value = numberOf(data);
        return ERROR_SUCCESS;
    }
    return -1;
}

UsbStorReading ReadUsbStor(const Locations& where) {
    platform::RegistryKey key;
    if (const long status = key.open(HKEY_LOCAL_MACHINE, where.usbStorKey, false)) {
        return {Value(), std::nullopt,
                status == ERROR_FILE_NOT_FOUND ? Found::NoKey : Found::Unreadable};
    }
    std::uint32_t type = 0;
    std::string data;
    if (const long status = key.query("Start", type, data)) {
        return {Value(), std::nullopt,
                status == ERROR_FILE_NOT_FOUND ? Found::NoValue : Found::Unreadable};
    }
    if (type == REG_DWORD && data.size() == 4) {
        return {numberOf(data), std::nullopt, Found::Read};
    }
    return {type == REG_SZ ? Value(data) : Value(), std::nullopt, Found::OtherType};
}

std::string UsbStorStamp(const Locations&) {
    // Reading the value costs no more than telling whether it changed.
    return {};
}

std::string UsbStorPlace(const Locations& where) {
    return "value HKEY_LOCAL_MACHINE\\" + where.usbStorKey + "\\Start";
}

UsbStorWords UsbStorWordsHere() {
    return {"Administrator", "driver's start value", "registry value", "registry hive"};
}

} // namespace modReg
