#pragma once

#include "smart/mSMARTDef.h"

#include <string>
#include <vector>

/// One drive as `kesto smart` reports it.
struct SmartEntry {
    std::string name;   ///< the slot's name, or the device as the user gave it
    std::string device; ///< the device asked; empty for a slot without one
    mSMARTDef::DriveInfo info;
};

/// The disk health window's header and table for each drive (line ends as LF), the device asked
/// and the health summary, drives separated by a blank line. Names and the drive's identity
/// texts appear as printable names (control characters as \xNN, a backslash doubled).
std::string SmartText(const std::vector<SmartEntry>& entries);

/// One JSON document: every drive with its identity (blanks trimmed), attributes with raw values
/// and NVMe health fields (128-bit counters as decimal strings).
std::string SmartJson(const std::vector<SmartEntry>& entries);
