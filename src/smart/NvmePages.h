#pragma once

#include "platform/SmartDevice.h"
#include "smart/mSMARTDef.h"

#include <cstdint>
#include <span>

/// The NVMe pages a drive record is made of: Identify Controller and the SMART / Health log.
namespace NvmePages {

using IdentifyPage = std::span<const std::uint8_t, platform::kNvmeIdentifySize>;
using HealthPage = std::span<const std::uint8_t, platform::kNvmeLogSize>;

/// Serial number, model and firmware revision, one character per byte as the drive sent them
/// (NVMe strings are not byte-swapped).
void ParseIdentify(IdentifyPage page, mSMARTDef::DriveInfo& info);

/// The health fields; multi-byte fields are little-endian.
mSMARTDef::NvmeHealth ParseHealth(HealthPage page);

} // namespace NvmePages
