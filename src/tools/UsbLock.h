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
/// The window's status word when the rule file's number and its blocking lines disagree.
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

/// What the rule file holds: the "Start" number its header gives (nothing when the file cannot
/// be read) and how many of the lines that block the drivers are in it.
struct Status {
    modReg::Value start;
    int blockingLines = 0;
};

/// Reads the rule file once.
Status ReadStatus(const modReg::Locations& where);

/// True when the file's lines say otherwise than its number: 4 without all the blocking lines,
/// or any other number with some of them.
bool LinesDisagree(const Status& status);

/// The state the drivers are in: locked only when the number is 4 and every blocking line is
/// there, un-locked only when the number is 3 and none is; nothing otherwise.
std::optional<std::uint32_t> StateOf(const Status& status);

/// "Locked", "Un-Locked", "Neither (Start=N)", or when the lines disagree with the number, for
/// example "Neither (Start=4, no blocking lines)" or "Neither (Start=3, 4 of 4 blocking lines)".
/// The file must have been read.
std::string StatusText(const Status& status);

/// Writes "Start" = 4 (lock) or 3 (un-lock); the error is empty on success.
std::error_code SetLocked(bool lock, const modReg::Locations& where);

/// Reads "Start".
modReg::Value ReadStart(const modReg::Locations& where);

/// The message of a lock or un-lock that failed, with the reason.
std::string FailureText(bool lock, const std::error_code& error);

/// Reads the rule file again only when its stamp changed since the last poll.
class StartWatcher {
public:
    explicit StartWatcher(modReg::Locations where) : m_where(std::move(where)) {}
    /// The current status; the file is re-read only when it changed.
    Status poll();
    /// How often the value was read from the file (not from the cache).
    int reads() const { return m_reads; }

private:
    modReg::Locations m_where;
    std::optional<std::string> m_stamp;
    Status m_status;
    int m_reads = 0;
};

} // namespace UsbLock
