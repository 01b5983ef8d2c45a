#include "platform/AtaPassThrough.h"

#include <algorithm>

namespace platform::ata {

namespace {

constexpr std::uint8_t kPassThrough16 = 0x85;
constexpr std::uint8_t kProtocolNonData = 3;
constexpr std::uint8_t kProtocolPioDataIn = 4;
// CDB byte 2: T_DIR (from the device), BYT_BLOK (length in blocks), T_LENGTH in the sector count.
constexpr std::uint8_t kDataInFlags = 0x0E;
// CDB byte 2: CK_COND, so that the drive's registers come back in the sense data.
constexpr std::uint8_t kCheckCondition = 0x20;

constexpr std::uint8_t kSmartLow = 0x4F;
constexpr std::uint8_t kSmartHigh = 0xC2;
constexpr std::uint32_t kSectorSize = 512;

constexpr std::uint8_t kStatusGood = 0x00;
constexpr std::uint8_t kStatusCheckCondition = 0x02;
constexpr std::uint8_t kDriverSense = 0x08;
constexpr std::uint8_t kSenseKeyNoSense = 0x0;
constexpr std::uint8_t kSenseKeyRecovered = 0x1;
constexpr std::uint8_t kAtaStatusDescriptor = 0x09;
// ATA status register: ERR and DF (device fault) both mean the command did not complete.
constexpr std::uint8_t kAtaErr = 0x01;
constexpr std::uint8_t kAtaDeviceFault = 0x20;

std::uint32_t bufferSize(const SmartInParams& in) {
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

bool isSmart(const SmartInParams& in, std::uint8_t feature) {
    return in[kCommandAt] == kSmart && in[kFeaturesAt] == feature && in[kCylLowAt] == kSmartLow &&
           in[kCylHighAt] == kSmartHigh;
}

Outcome fromRegisters(std::uint8_t error, std::uint8_t status) {
    return {(status & (kAtaErr | kAtaDeviceFault)) == 0, error, status};
}

Outcome fromSenseKey(std::uint8_t key) {
    return {key == kSenseKeyNoSense || key == kSenseKeyRecovered, 0, 0};
}

Outcome decodeDescriptorSense(std::span<const std::uint8_t> sense) {
    if (sense.size() < 8) {
        return {};
    }
    const std::size_t end = std::min<std::size_t>(sense.size(), 8u + sense[7]);
    std::size_t at = 8;
    while (at + 2 <= end) {
        const std::size_t length = 2u + sense[at + 1];
        if (sense[at] == kAtaStatusDescriptor && length >= 14 && at + 14 <= end) {
            return fromRegisters(sense[at + 3], sense[at + 13]);
        }
        at += length;
    }
    return fromSenseKey(sense[1] & 0x0F);
}

Outcome decodeFixedSense(std::span<const std::uint8_t> sense) {
    if (sense.size() < 3) {
        return {};
    }
    // Additional sense 0x00/0x1D: the information field holds ERROR, STATUS, DEVICE and COUNT.
    if (sense.size() >= 14 && sense[12] == 0x00 && sense[13] == 0x1D) {
        return fromRegisters(sense[3], sense[4]);
    }
    return fromSenseKey(sense[2] & 0x0F);
}

} // namespace

bool readsSector(const SmartInParams& in) {
    return in[kCommandAt] == kIdentifyDevice || isSmart(in, kSmartReadData) ||
           isSmart(in, kSmartReadThresholds);
}

std::optional<Cdb> passThroughCdb(const SmartInParams& in) {
    const bool read = readsSector(in);
    const bool enable = isSmart(in, kSmartEnable);
    if ((!read && !enable) || bufferSize(in) != (read ? kSectorSize : 0) ||
        (read && in[kSectorCountAt] != 1)) {
        return std::nullopt;
    }
    Cdb cdb{};
    cdb[0] = kPassThrough16;
    cdb[1] = static_cast<std::uint8_t>((read ? kProtocolPioDataIn : kProtocolNonData) << 1);
    cdb[2] = read ? kDataInFlags : kCheckCondition;
    cdb[4] = in[kFeaturesAt];
    cdb[6] = in[kSectorCountAt];
    cdb[8] = in[kSectorNumberAt];
    cdb[10] = in[kCylLowAt];
    cdb[12] = in[kCylHighAt];
    cdb[13] = in[kDriveHeadAt];
    cdb[14] = in[kCommandAt];
    return cdb;
}

Outcome decodeSense(std::span<const std::uint8_t> sense) {
    if (sense.empty()) {
        return {};
    }
    switch (sense[0] & 0x7F) {
    case 0x72:
    case 0x73:
        return decodeDescriptorSense(sense);
    case 0x70:
    case 0x71:
        return decodeFixedSense(sense);
    default:
        return {};
    }
}

Outcome judgeReply(const Reply& reply, std::span<std::uint8_t> data) {
    const std::size_t missing =
        std::min(data.size(), static_cast<std::size_t>(std::max(reply.resid, 0)));
    std::fill(data.end() - static_cast<std::ptrdiff_t>(missing), data.end(), std::uint8_t{0});

    const std::uint8_t driver = reply.driverStatus & 0x0F;
    if (reply.hostStatus != 0 || (driver != 0 && driver != kDriverSense)) {
        return {};
    }
    // A read that brought nothing is no answer, whatever the status says.
    if (!data.empty() && missing == data.size()) {
        return {};
    }
    if (reply.status == kStatusGood && reply.sense.empty()) {
        return {true, 0, 0};
    }
    if (reply.status == kStatusGood || reply.status == kStatusCheckCondition) {
        return decodeSense(reply.sense);
    }
    return {};
}

} // namespace platform::ata
