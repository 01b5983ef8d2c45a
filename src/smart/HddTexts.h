#pragma once

#include "smart/mSMARTDef.h"

#include <string>
#include <string_view>

/// Texts of the disk health window and of `kesto smart`: the drive header, the attribute table and
/// the health verdicts.
namespace HddTexts {

inline constexpr std::string_view kDesignTitle = "Kesto -> Serial Harddisk";
inline constexpr std::string_view kTitle = "Get Serial Harddisk";

/// The header: `slotName` + ": " + CR LF, then "[Not present]", the ATAPI line, or the identity
/// lines of an IDE or NVMe drive, each ending in CR LF.
std::string Header(std::string_view slotName, const mSMARTDef::DriveInfo& info);

/// The attribute table of an IDE drive (title line, rule, one row per attribute), the health
/// table of an NVMe drive, and empty for any other drive.
std::string Table(const mSMARTDef::DriveInfo& info);

/// `text` without leading and trailing blanks (code 32 only; NUL and other bytes stay).
std::string TrimBlanks(std::string_view text);

/// The decimal digits of an unsigned 128-bit counter.
std::string Decimal(const mSMARTDef::Counter128& value);

/// One line per attribute (IDE) or per set critical-warning bit (NVMe), each ending in CR LF:
/// the attribute's raw value and its verdict. Empty for drives without health data.
std::string Verdicts(const mSMARTDef::DriveInfo& info);

/// One line judging the whole drive, without line end: "Health: OK", "Health: FAILING" or
/// "Health: failed in the past" with the attributes or warnings that caused it; empty for drives
/// without health data.
std::string HealthSummary(const mSMARTDef::DriveInfo& info);

/// The window's health line: HealthSummary, or for a slot without health data what the slot
/// holds ("Health: no drive in this slot").
std::string HealthLine(const mSMARTDef::DriveInfo& info);

/// The window's verdict box: Verdicts, or when there is nothing to list, lines ending in CR LF
/// that say why.
std::string VerdictsOrReason(const mSMARTDef::DriveInfo& info);

} // namespace HddTexts
