#pragma once

#include "platform/SmartDevice.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

/// The SCSI ATA PASS-THROUGH (16) command that carries one ATA request to a disk behind the SCSI
/// layer, and the judgement of its reply. Byte work only, so it is tested on canned replies.
namespace platform::ata {

using Cdb = std::array<std::uint8_t, 16>;

/// ATA registers of a request as they sit in SENDCMDINPARAMS (offsets 4..10) and its buffer size.
inline constexpr std::size_t kBufferSizeAt = 0;
inline constexpr std::size_t kFeaturesAt = 4;
inline constexpr std::size_t kSectorCountAt = 5;
inline constexpr std::size_t kSectorNumberAt = 6;
inline constexpr std::size_t kCylLowAt = 7;
inline constexpr std::size_t kCylHighAt = 8;
inline constexpr std::size_t kDriveHeadAt = 9;
inline constexpr std::size_t kCommandAt = 10;

inline constexpr std::uint8_t kIdentifyDevice = 0xEC;
inline constexpr std::uint8_t kSmart = 0xB0;
inline constexpr std::uint8_t kSmartReadData = 0xD0;
inline constexpr std::uint8_t kSmartReadThresholds = 0xD1;
inline constexpr std::uint8_t kSmartEnable = 0xD8;

/// Whether the request reads one 512-byte sector (IDENTIFY, SMART READ DATA, SMART READ
/// THRESHOLDS) rather than being SMART ENABLE OPERATIONS.
bool readsSector(const SmartInParams& in);

/// The CDB for `in`: PIO data-in of one sector for the three reads, non-data with CK_COND for
/// SMART ENABLE OPERATIONS. None for any other request (nothing else is ever sent to a drive) or
/// when the buffer size does not fit the command.
std::optional<Cdb> passThroughCdb(const SmartInParams& in);

/// What came back from one SG_IO call.
struct Reply {
    std::uint8_t status = 0; ///< SCSI status
    std::uint8_t hostStatus = 0;
    std::uint8_t driverStatus = 0;
    int resid = 0;                       ///< bytes of the data buffer not transferred
    std::span<const std::uint8_t> sense; ///< the sense bytes actually written
};

/// The ATA outcome of a request.
struct Outcome {
    bool ok = false;
    std::uint8_t ataError = 0;  ///< the error register, where the reply carried it
    std::uint8_t ataStatus = 0; ///< the status register, where the reply carried it
};

/// Judges a sense buffer in descriptor (0x72/0x73, ATA status return descriptor 0x09) or fixed
/// (0x70/0x71, "ATA pass-through information available") format: a set ERR bit is a failure, as
/// is a sense key other than NO SENSE or RECOVERED ERROR without ATA registers, or any other
/// format.
Outcome decodeSense(std::span<const std::uint8_t> sense);

/// Judges a whole reply; a transport or driver failure fails the request. Bytes of `data` the
/// device did not transfer (`resid`) are set to zero.
Outcome judgeReply(const Reply& reply, std::span<std::uint8_t> data);

} // namespace platform::ata
