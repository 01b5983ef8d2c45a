#pragma once

#include "platform/SmartDevice.h"
#include "smart/mSMARTDef.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

/// Asks one drive slot for its identity and SMART data.
namespace mSMARTCall {

/// The record of drive slot `slot` (0..3) of this machine. Every failure (no device, no rights,
/// a request the drive refused) gives a record with `DriveType` 0.
mSMARTDef::DriveInfo GetDriveInfo(int slot);

/// The same query over `device`. A fresh record each time: nothing of an earlier query remains.
mSMARTDef::DriveInfo GetDriveInfo(platform::SmartDevice& device, int slot);

using Sector = std::span<const std::uint8_t, 512>;

/// Attribute names by the decimal text of their id (35 entries).
const std::map<std::string, std::string, std::less<>>& AttrNames();
/// The name of attribute `id`, or "Unknown value (" + id + ")".
std::string AttrName(std::uint8_t id);

/// Whether bit `bit` (0..7) of `byte` is set.
bool IsBitSet(std::uint8_t byte, int bit);

/// Swaps each pair of characters; an odd length's last position becomes a blank.
std::string SwapChars(std::string_view text);

/// The SENDCMDINPARAMS of the four ATA requests for `slot`. Outside the NT family the
/// drive/head register selects the device of the slot's channel (0xB0 for slots 1 and 3).
platform::SmartInParams EnableSmartParams(int slot);
platform::SmartInParams IdentifyParams(int slot, bool winNT);
platform::SmartInParams ReadAttributesParams(int slot, bool winNT);
platform::SmartInParams ReadThresholdsParams(int slot, bool winNT);

/// Identity strings and geometry from an IDENTIFY DEVICE sector.
void ParseIdentify(Sector sector, mSMARTDef::DriveInfo& info);
/// Appends a record for each of the 30 entries whose id is not 0.
void ParseAttributes(Sector sector, mSMARTDef::DriveInfo& info);
/// Gives each threshold to the first record with its id; ids without a record are ignored.
void ParseThresholds(Sector sector, mSMARTDef::DriveInfo& info);

} // namespace mSMARTCall
