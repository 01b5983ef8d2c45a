#pragma once

#include "tools/modReg.h"

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

/// The texts and rules of the USB storage lock window and `kesto usb-lock`.
namespace UsbLock {

inline constexpr char kTitle[] = "Kesto -> USB Port Locked";
inline constexpr char kLockedText[] = "Locked";
inline constexpr char kUnLockedText[] = "Un-Locked";
inline constexpr char kLockedMessage[] = " USB Port Has Been Locked...";
inline constexpr char kUnLockedMessage[] = " USB Port Has Been Un-Locked...";
inline constexpr char kReadMeTitle[] = "About the protection...";
inline constexpr char kAboutTitle[] = "About USB Port Locked";
inline constexpr std::uint32_t kLocked = 4;
inline constexpr std::uint32_t kUnLocked = 3;
inline constexpr int kPollMs = 100;

/// The explanation shown by "ReadMe".
std::string ReadMeText();
/// The author message shown by "About" (lines joined by CR).
std::string AboutText();

/// The state a read value stands for: 4 locked, 3 un-locked, nothing for any other value or
/// for a value that could not be read.
std::optional<std::uint32_t> StateOf(const modReg::Value& value);

/// Writes "Start" = 4 (lock) or 3 (un-lock); the error is empty on success.
std::error_code SetLocked(bool lock, const modReg::Locations& where);

/// Reads "Start".
modReg::Value ReadStart(const modReg::Locations& where);

/// The message of a lock or un-lock that failed, with the reason.
std::string FailureText(bool lock, const std::error_code& error);

/// Reads "Start" again only when the rule file's stamp changed since the last poll.
class StartWatcher {
public:
    explicit StartWatcher(modReg::Locations where) : m_where(std::move(where)) {}
    /// The current value; the file is re-read only when it changed.
    modReg::Value poll();
    /// How often the value was read from the file (not from the cache).
    int reads() const { return m_reads; }

private:
    modReg::Locations m_where;
    std::optional<std::string> m_stamp;
    modReg::Value m_value;
    int m_reads = 0;
};

} // namespace UsbLock
