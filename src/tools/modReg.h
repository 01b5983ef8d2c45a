#pragma once

#include "platform/FolderHandle.h"
#include "platform/Registry.h"
#include "tools/RegValue.h"
#include "tools/UsbRuleFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

/// The registry of the program. On Windows it is the system's registry. On Linux it is a small
/// file-backed store, one `values` file per key below a root folder, except the value
/// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\USBSTOR "Start", which lives in a
/// modprobe rule file that blocks or allows the USB storage drivers.
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

/// Where the values live: on Linux the store and the rule file; on Windows the key that stands
/// for the USB storage driver's key (tests point it at a key of their own).
struct Locations {
#ifdef _WIN32
    std::string usbStorKey = kUsbStorKey;
#else
    std::string storeRoot = "/var/lib/kesto/registry";
    std::string ruleFolder = "/etc/modprobe.d";
#endif
};

/// An open key.
struct KeyHandle {
    Locations where;
    std::uint32_t root = 0;
#ifdef _WIN32
    platform::RegistryKey key;
#else
    bool usbStor = false;
    platform::FolderHandle folder;
#endif
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

/// How "Start" of the USB storage driver was found. The rule file (Linux) gives a number or
/// cannot be read; the registry (Windows) may also lack the key or the value, or hold a value of
/// another type, none of which is a start mode the driver knows.
enum class Found { Read, Unreadable, NoKey, NoValue, OtherType };

/// What the place of the USB storage driver's "Start" holds, read once.
struct UsbStorReading {
    /// The number; on Windows also the text of a text value (with `found` OtherType).
    Value start;
    /// How many of the rule file's lines that block the drivers it holds (Linux); nothing where
    /// the value alone decides (the registry).
    std::optional<int> blockingLines;
    Found found = Found::Read;
};

/// Reads the USB storage driver's "Start" and what goes with it.
UsbStorReading ReadUsbStor(const Locations& where);

/// A text that changes whenever what ReadUsbStor reads may have changed; empty when that cannot
/// be told, as when there is nothing to look at but the value itself.
std::string UsbStorStamp(const Locations& where);

/// Where the USB storage driver's "Start" is kept, for messages: "rule in /etc/modprobe.d" or
/// "value HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\USBSTOR\Start".
std::string UsbStorPlace(const Locations& where);

/// The words messages use for changing "Start" on this system.
struct UsbStorWords {
    const char* rights; ///< who may change it: "Root" or "Administrator"
    const char* thing;  ///< what is changed: "rule" or "start value"
    const char* store;  ///< what is written: "rule file" or "registry value"
    const char* folder; ///< what holds it: "rule folder" or "registry hive"
};
UsbStorWords UsbStorWordsHere();

/// Records why the last failing call of this thread failed and returns `status` (for the
/// system's part of the registry functions).
long Fail(std::error_code error, long status);

} // namespace modReg
