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
/// The status word for any value but 3 and 4, or rule file lines that disagree with the number.
inline constexpr char kNeitherText[] = "Neither";
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

/// What the place of "Start" holds: the number (nothing when it cannot be read), how it was
/// found, and on Linux how many of the rule file's lines that block the drivers are in it.
using Status = modReg::UsbStorReading;

/// Reads the place of "Start" once.
Status ReadStatus(const modReg::Locations& where);

/// True when the rule file's lines say otherwise than its number: 4 without all the blocking
/// lines, or any other number with some of them. Never where there are no such lines.
bool LinesDisagree(const Status& status);

/// The state the drivers are in: locked only when the number is 4 (a 32-bit number in the
/// registry) and every blocking line is there, un-locked only when the number is 3 and none is;
/// nothing otherwise.
std::optional<std::uint32_t> StateOf(const Status& status);

/// "Locked", "Un-Locked", "Neither (Start=N)", or when the lines disagree with the number, for
/// example "Neither (Start=4, no blocking lines)" or "Neither (Start=3, 4 of 4 blocking lines)";
/// for a registry without the key or the value "Neither (no USBSTOR key)" or
/// "Neither (no Start value)", and for a value of another type "Neither (Start=4, not a 32-bit
/// number)" or "Neither (Start is not a 32-bit number)". The place must have been read.
std::string StatusText(const Status& status);

/// Writes "Start" = 4 (lock) or 3 (un-lock); the error is empty on success.
std::error_code SetLocked(bool lock, const modReg::Locations& where);

/// Reads "Start".
modReg::Value ReadStart(const modReg::Locations& where);

/// The message of a lock or un-lock that failed, with the reason.
std::string FailureText(bool lock, const std::error_code& error);

/// Reads the place of "Start" again only when its stamp changed since the last poll (every time
/// where there is no stamp).
class StartWatcher {
public:
    explicit StartWatcher(modReg::Locations where) : m_where(std::move(where)) {}
    /// The current status; the place is re-read only when it may have changed.
    Status poll();
    /// How often the value was read from its place (not from the cache).
    int reads() const { return m_reads; }

private:
    modReg::Locations m_where;
    std::optional<std::string> m_stamp;
    Status m_status;
    int m_reads = 0;
};

} // namespace UsbLock
