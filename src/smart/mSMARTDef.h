#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Records, constants and slot names of the disk health query.
namespace mSMARTDef {

/// Drive slots 0..3, named in the order the disk health window offers them.
inline constexpr int kSlotCount = 4;
inline constexpr std::array<std::string_view, kSlotCount> kSlotNames = {
    "PRIMARY_MASTER", "PRIMARY_SLAVE", "SECONDARY_MASTER", "SECONDARY_SLAVE"};

/// `DriveInfo::DriveType` values. NVMe drives answer neither IDENTIFY nor SMART READ DATA; they
/// carry their own health page instead of attribute records.
inline constexpr std::uint8_t kNotPresent = 0;
inline constexpr std::uint8_t kIdeDrive = 1;
inline constexpr std::uint8_t kAtapiDrive = 2;
inline constexpr std::uint8_t kNvmeDrive = 3;

/// Attribute records per SMART data sector.
inline constexpr int kMaxAttributes = 30;

/// One SMART attribute.
struct AttrData {
    std::uint8_t AttrID = 0;
    std::string AttrName;
    std::uint8_t AttrValue = 0;
    std::uint8_t ThresholdValue = 0;
    std::uint8_t WorstValue = 0;
    std::uint32_t StatusFlags = 0; ///< the 16-bit flags word; high half 0
    std::uint64_t RawValue = 0;    ///< the entry's 48-bit raw value (bytes 5..10, little-endian)

    friend bool operator==(const AttrData&, const AttrData&) = default;
};

/// An unsigned 128-bit counter of the NVMe health page, as its two 64-bit halves.
struct Counter128 {
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    friend bool operator==(const Counter128&, const Counter128&) = default;
};

/// The NVMe SMART / Health Information log page (log id 2), the fields a user reads.
struct NvmeHealth {
    std::uint8_t CriticalWarning = 0;    ///< byte 0: bit 0 spare, 1 temperature, 2 reliability,
                                         ///< 3 read-only, 4 volatile backup, 5 persistent memory
    std::uint16_t TemperatureKelvin = 0; ///< bytes 1..2, composite temperature
    std::uint8_t AvailableSpare = 0;     ///< byte 3, percent
    std::uint8_t AvailableSpareThreshold = 0; ///< byte 4, percent
    std::uint8_t PercentageUsed = 0;          ///< byte 5, may exceed 100
    Counter128 DataUnitsRead;                 ///< bytes 32..47, units of 1,000 sectors of 512 bytes
    Counter128 DataUnitsWritten;              ///< bytes 48..63
    Counter128 PowerCycles;                   ///< bytes 112..127
    Counter128 PowerOnHours;                  ///< bytes 128..143
    Counter128 UnsafeShutdowns;               ///< bytes 144..159
    Counter128 MediaErrors;                   ///< bytes 160..175

    friend bool operator==(const NvmeHealth&, const NvmeHealth&) = default;
};

/// The record of one drive slot. `Attributes` always holds one more, empty, record at index
/// `NumAttributes`.
struct DriveInfo {
    std::uint8_t DriveType = kNotPresent;
    std::string SerialNumber; ///< one character per byte, blanks and NUL bytes kept
    std::string Model;
    std::string FirmWare;
    std::int32_t Cilinders = 0;
    std::int32_t Heads = 0;
    std::int32_t SecPerTrack = 0;
    std::uint8_t NumAttributes = 0;
    std::vector<AttrData> Attributes = std::vector<AttrData>(1);
    std::optional<NvmeHealth> Nvme; ///< set for an NVMe drive whose health page was read

    friend bool operator==(const DriveInfo&, const DriveInfo&) = default;
};

} // namespace mSMARTDef
