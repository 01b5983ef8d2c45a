#pragma once

#include "platform/FolderHandle.h"

#include <cstdint>
#include <string>
#include <system_error>

/// The rule file in the modprobe folder that blocks or allows the USB storage drivers. It stands
/// for the registry value HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\USBSTOR "Start":
/// a header gives the number, and for 4 lines follow that keep the drivers from loading.
namespace modReg {

inline constexpr char kRuleFileName[] = "kesto-usb-storage.conf";

/// The rule file's text for a "Start" number: a header, and for 4 the lines that block the
/// usb_storage and uas drivers.
std::string RuleFileText(std::uint32_t start);

/// The "Start" number a rule file's text stands for.
std::uint32_t StartFromRuleText(const std::string& text);

/// How many lines of a rule file's text are lines that block the drivers: "blacklist" and
/// "install ... /bin/false" for each of usb_storage and uas, so 0 to kBlockingLines.
int BlockingLinesIn(const std::string& text);
inline constexpr int kBlockingLines = 4;

/// Reads the rule file of an open rule folder; a closed folder or a missing file is an empty
/// text, as the drivers then load as they would without the program. A link, anything but a
/// regular file or a file of more than 1 MiB fails.
std::error_code ReadRuleFile(const platform::FolderHandle& folder, std::string& text);

/// Replaces the rule file of an open rule folder, as one step, with the one for `start`.
std::error_code WriteRuleFile(const platform::FolderHandle& folder, std::uint32_t start);

} // namespace modReg
