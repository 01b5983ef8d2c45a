#include "smart/mSMARTCall.h"

#include "smart/NvmePages.h"

namespace mSMARTCall {

namespace {

using mSMARTDef::DriveInfo;
using platform::SmartHandle;
using platform::SmartInParams;

constexpr std::uint8_t kIdentifyCommand = 0xEC;
constexpr std::uint8_t kSmartCommand = 0xB0;
constexpr std::uint8_t kSmartLow = 0x4F;
constexpr std::uint8_t kSmartHigh = 0xC2;
constexpr std::uint8_t kDriveHead = 0xA0;
constexpr std::uint32_t kSectorSize = 512;
constexpr std::size_t kSectorAt = platform::kSmartStatusOutSize;
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kFirstEntry = 2;

/// The ATA registers of one request in SENDCMDINPARAMS order.
struct Registers {
    std::uint8_t features;
    std::uint8_t sectorCount;
    std::uint8_t sectorNumber;
    std::uint8_t cylLow;
    std::uint8_t cylHigh;
    std::uint8_t driveHead;
    std::uint8_t command;
};

SmartInParams inParams(std::uint32_t bufferSize, const Registers& registers, int slot) {
    SmartInParams in{};
    for (std::size_t i = 0; i < 4; ++i) {
        in[i] = static_cast<std::uint8_t>(bufferSize >> (8 * i));
    }
    in[4] = registers.features;
    in[5] = registers.sectorCount;
    in[6] = registers.sectorNumber;
    in[7] = registers.cylLow;
    in[8] = registers.cylHigh;
    in[9] = registers.driveHead;
    in[10] = registers.command;
    in[12] = static_cast<std::uint8_t>(slot);
    return in;
}

std::uint8_t driveHead(int slot, bool winNT) {
    return winNT ? kDriveHead : static_cast<std::uint8_t>(kDriveHead | (slot & 1) << 4);
}

SmartInParams smartRead(std::uint8_t feature, int slot, bool winNT) {
    return inParams(kSectorSize,
                    {feature, 1, 1, kSmartLow, kSmartHigh, driveHead(slot, winNT), kSmartCommand},
                    slot);
}

std::string chars(Sector sector, std::size_t from, std::size_t to) {
    return std::string(sector.begin() + static_cast<std::ptrdiff_t>(from),
                       sector.begin() + static_cast<std::ptrdiff_t>(to) + 1);
}

std::int32_t signedWord(Sector sector, std::size_t word) {
    return static_cast<std::int16_t>(sector[2 * word] | sector[2 * word + 1] << 8);
}

Sector sectorOf(const std::array<std::uint8_t, platform::kSmartDataOutSize>& out) {
    return Sector(out.data() + kSectorAt, kSectorSize);
}

/// Sends one data request; the answer is parsed into `info` by `parse` when `parseAlways` or the
/// request succeeded (a failed request leaves the sector zero).
template <typename Parse>
bool dataRequest(SmartHandle& handle, const SmartInParams& in, bool parseAlways, Parse parse) {
    std::array<std::uint8_t, platform::kSmartDataOutSize> out{};
    const bool ok = handle.command(platform::kSmartRcvDriveData, in, out);
    if (!ok) {
        out.fill(0);
    }
    if (ok || parseAlways) {
        parse(sectorOf(out));
    }
    return ok;
}

bool EnableSmart(SmartHandle& handle, int slot) {
    std::array<std::uint8_t, platform::kSmartStatusOutSize> out{};
    return handle.command(platform::kSmartSendDriveCommand, EnableSmartParams(slot), out);
}

bool IdentifyDrive(SmartHandle& handle, std::uint8_t command, int slot, bool winNT,
                   DriveInfo& info) {
    SmartInParams in = IdentifyParams(slot, winNT);
    in[10] = command;
    return dataRequest(handle, in, false, [&](Sector sector) { ParseIdentify(sector, info); });
}

bool ReadAttributes(SmartHandle& handle, int slot, bool winNT, DriveInfo& info) {
    return dataRequest(handle, ReadAttributesParams(slot, winNT), true,
                       [&](Sector sector) { ParseAttributes(sector, info); });
}

bool ReadThresholds(SmartHandle& handle, int slot, bool winNT, DriveInfo& info) {
    return dataRequest(handle, ReadThresholdsParams(slot, winNT), true,
                       [&](Sector sector) { ParseThresholds(sector, info); });
}

/// An NVMe drive: its identity, then its health page when the drive gives it.
DriveInfo nvmeDriveInfo(SmartHandle& handle) {
    std::array<std::uint8_t, platform::kNvmeIdentifySize> identify{};
    if (!handle.nvmeIdentify(identify)) {
        return {};
    }
    DriveInfo info;
    info.DriveType = mSMARTDef::kNvmeDrive;
    NvmePages::ParseIdentify(identify, info);
    std::array<std::uint8_t, platform::kNvmeLogSize> log{};
    if (handle.nvmeHealthLog(log)) {
        info.Nvme = NvmePages::ParseHealth(log);
    }
    return info;
}

} // namespace

const std::map<std::string, std::string, std::less<>>& AttrNames() {
    static const std::map<std::string, std::string, std::less<>> names = {
        {"0", "ATTR_INVALID"},
        {"1", "READ_ERROR_RATE"},
        {"2", "THROUGHPUT_PERF"},
        {"3", "SPIN_UP_TIME"},
        {"4", "START_STOP_COUNT"},
        {"5", "REALLOC_SECTOR_COUNT"},
        {"6", "READ_CHANNEL_MARGIN"},
        {"7", "SEEK_ERROR_RATE"},
        {"8", "SEEK_TIME_PERF"},
        {"9", "POWER_ON_HRS_COUNT"},
        {"10", "SPIN_RETRY_COUNT"},
        {"11", "CALIBRATION_RETRY_COUNT"},
        {"12", "POWER_CYCLE_COUNT"},
        {"13", "SOFT_READ_ERROR_RATE"},
        {"191", "G_SENSE_ERROR_RATE"},
        {"192", "POWER_OFF_RETRACT_CYCLE"},
        {"193", "LOAD_UNLOAD_CYCLE_COUNT"},
        {"194", "TEMPERATURE"},
        {"196", "REALLOCATION_EVENTS_COUNT"},
        {"197", "CURRENT_PENDING_SECTOR_COUNT"},
        {"198", "UNCORRECTABLE_SECTOR_COUNT"},
        {"199", "ULTRADMA_CRC_ERROR_RATE"},
        {"200", "WRITE_ERROR_RATE"},
        {"220", "DISK_SHIFT"},
        {"221", "G_SENSE_ERROR_RATEII"},
        {"222", "LOADED_HOURS"},
        {"223", "LOAD_UNLOAD_RETRY_COUNT"},
        {"224", "LOAD_FRICTION"},
        {"225", "LOAD_UNLOAD_CYCLE_COUNTII"},
        {"226", "LOAD_IN_TIME"},
        {"227", "TORQUE_AMPLIFICATION_COUNT"},
        {"228", "POWER_OFF_RETRACT_COUNT"},
        {"230", "GMR_HEAD_AMPLITUDE"},
        {"231", "TEMPERATUREII"},
        {"250", "READ_ERROR_RETRY_RATE"},
    };
    return names;
}

std::string AttrName(std::uint8_t id) {
    const std::string key = std::to_string(id);
    const auto found = AttrNames().find(key);
    return found != AttrNames().end() ? found->second : "Unknown value (" + key + ")";
}

bool IsBitSet(std::uint8_t byte, int bit) {
    return bit >= 0 && bit <= 7 && (byte >> bit & 1) != 0;
}

std::string SwapChars(std::string_view text) {
    std::string result(text.size(), ' ');
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        result[i] = text[i + 1];
        result[i + 1] = text[i];
    }
    return result;
}

platform::SmartInParams EnableSmartParams(int slot) {
    return inParams(0, {0xD8, 1, 1, kSmartLow, kSmartHigh, kDriveHead, kSmartCommand}, slot);
}

platform::SmartInParams IdentifyParams(int slot, bool winNT) {
    return inParams(kSectorSize, {0, 1, 1, 0, 0, driveHead(slot, winNT), kIdentifyCommand}, slot);
}

platform::SmartInParams ReadAttributesParams(int slot, bool winNT) {
    return smartRead(0xD0, slot, winNT);
}

platform::SmartInParams ReadThresholdsParams(int slot, bool winNT) {
    return smartRead(0xD1, slot, winNT);
}

void ParseIdentify(Sector sector, DriveInfo& info) {
    info.Model = SwapChars(chars(sector, 54, 93));
    info.FirmWare = SwapChars(chars(sector, 46, 53));
    info.SerialNumber = SwapChars(chars(sector, 20, 39));
    info.Cilinders = signedWord(sector, 1);
    info.Heads = signedWord(sector, 3);
    info.SecPerTrack = signedWord(sector, 6);
}

void ParseAttributes(Sector sector, DriveInfo& info) {
    for (int i = 0; i < mSMARTDef::kMaxAttributes; ++i) {
        const auto entry =
            sector.subspan(kFirstEntry + kEntrySize * static_cast<std::size_t>(i), kEntrySize);
        if (entry[0] == 0 || info.NumAttributes == UINT8_MAX) {
            continue;
        }
        const std::size_t k = info.NumAttributes;
        info.Attributes.resize(k + 2);
        mSMARTDef::AttrData& record = info.Attributes[k];
        record = {};
        record.AttrID = entry[0];
        record.AttrName = AttrName(entry[0]);
        record.StatusFlags = static_cast<std::uint32_t>(entry[1] | entry[2] << 8);
        record.AttrValue = entry[3];
        record.WorstValue = entry[4];
        for (std::size_t byte = 11; byte-- > 5;) {
            record.RawValue = record.RawValue << 8 | entry[byte];
        }
        info.NumAttributes = static_cast<std::uint8_t>(k + 1);
    }
}

void ParseThresholds(Sector sector, DriveInfo& info) {
    for (int i = 0; i < mSMARTDef::kMaxAttributes; ++i) {
        const std::size_t at = kFirstEntry + kEntrySize * static_cast<std::size_t>(i);
        const std::uint8_t id = sector[at];
        if (id == 0) {
            continue;
        }
        for (mSMARTDef::AttrData& record : info.Attributes) {
            if (record.AttrID == id) {
                record.ThresholdValue = sector[at + 1];
                break;
            }
        }
    }
}

DriveInfo GetDriveInfo(platform::SmartDevice& device, int slot) {
    if (slot < 0 || slot >= mSMARTDef::kSlotCount) {
        return {};
    }
    const std::unique_ptr<SmartHandle> handle = device.open(slot);
    if (!handle) {
        return {};
    }
    if (handle->isNvme()) {
        return nvmeDriveInfo(*handle);
    }
    platform::SmartVersionBlock version{};
    if (!handle->version(version)) {
        return {};
    }
    const std::uint8_t deviceMap = version[3];
    if (!IsBitSet(deviceMap, slot)) {
        return {};
    }
    DriveInfo info;
    info.DriveType = IsBitSet(deviceMap, slot + 4) ? mSMARTDef::kAtapiDrive : mSMARTDef::kIdeDrive;
    if (!EnableSmart(*handle, slot)) {
        return {};
    }
    const bool winNT = device.isWinNT();
    // A drive that refuses one read still shows what the others brought.
    IdentifyDrive(*handle, kIdentifyCommand, slot, winNT, info);
    ReadAttributes(*handle, slot, winNT, info);
    ReadThresholds(*handle, slot, winNT, info);
    return info;
}

DriveInfo GetDriveInfo(int slot) {
    platform::SystemSmartDevice device(platform::smartSlots());
    return GetDriveInfo(device, slot);
}

} // namespace mSMARTCall
