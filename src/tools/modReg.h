#pragma once

#include "platform/FolderHandle.h"
#include "tools/RegValue.h"
#include "tools/UsbRuleFile.h"

#include <cstdint>
#include <string>
#include <system_error>

/// The registry of the program: a small file-backed store, one `values` file per key below a
/// root folder, except the value HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\USBSTOR
/// "Start", which lives in a modprobe rule file that blocks or allows the USB storage drivers.
namespace modReg {

inline constexpr std::uint32_t HKEY_CLASSES_ROOT = 0x80000000U;
inline constexpr std::uint32_t HKEY_CURRENT_USER = 0x80000001U;
inline constexpr std::uint32_t HKEY_LOCAL_MACHINE = 0x80000002U;
inline constexpr std::uint32_t HKEY_USERS = 0x80000003U;

inline constexpr int REG_SZ = 1;
inline constexpr int REG_DWORD = 4;

inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2;
inline constexpr long ERROR_ACCESS_DENIED = 5;
inline constexpr long ERROR_INVALID_DATA = 13;
inline constexpr long ERROR_WRITE_FAULT = 29;
inline constexpr long ERROR_INVALID_PARAMETER = 87;

inline constexpr char kUsbStorKey[] = "SYSTEM\\CurrentControlSet\\Services\\USBSTOR";

/// Where the store and the rule file live.
struct Locations {
    std::string storeRoot = "/var/lib/kesto/registry";
    std::string ruleFolder = "/etc/modprobe.d";
};

/// An open key.
struct KeyHandle {
    Locations where;
    std::uint32_t root = 0;
    bool usbStor = false;
    platform::FolderHandle folder;
};

/// Opens (or, with `create`, makes) a key; a status code, 0 on success.
long RegOpenKey(std::uint32_t root, const std::string& path, bool create, KeyHandle& key,
                const Locations& where = {});

/// True when the key exists or was created.
bool RegEnsureKey(std::uint32_t root, const std::string& path, const Locations& where = {});

/// Writes a value; an empty text becomes a single blank (in the caller's variable too).
bool RegWriteValue(std::uint32_t root, const std::string& path, const std::string& name,
                   Value& value, int type, const Locations& where = {});

/// Reads a value; a text that is a single blank reads as empty; nothing when it cannot be read.
Value RegReadValue(std::uint32_t root, const std::string& path, const std::string& name,
                   const Locations& where = {});

/// Writes a value of type 1 (text) or 4 (32-bit number); 0 on success.
long RegSetTyped(const KeyHandle& key, const std::string& name, int type, const Value& value);

/// Reads a value; 0 on success, -1 for a stored type other than 1 and 4.
long RegQueryTyped(const KeyHandle& key, const std::string& name, Value& value);

/// Why the last failing call of this thread failed.
std::error_code RegLastError();

/// Reads the rule file; a missing rule folder or file reads as an empty text.
std::error_code ReadRuleText(const Locations& where, std::string& text);

} // namespace modReg
