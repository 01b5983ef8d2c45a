#pragma once

#include "platform/SmartDevice.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// The Windows requests of the disk health query as bytes: what goes into DeviceIoControl on
/// "\\.\PhysicalDriveN" and how its answers are judged. Byte work only, so that every system's
/// tests check the layouts; the Windows backend checks them against the system's structures.
namespace platform::smart_ioctl {

/// IOCTL_STORAGE_QUERY_PROPERTY, which any handle may send (it needs no access rights).
inline constexpr std::uint32_t kStorageQueryProperty = 0x2D1400;

/// STORAGE_PROPERTY_QUERY: PropertyId, QueryType, then the property's own parameters.
inline constexpr std::size_t kQueryHeaderSize = 8;
inline constexpr std::uint32_t kStorageDeviceProperty = 0;
inline constexpr std::uint32_t kAdapterProtocolSpecificProperty = 49;
inline constexpr std::uint32_t kDeviceProtocolSpecificProperty = 50;

/// STORAGE_PROTOCOL_SPECIFIC_DATA: ten 32-bit fields, at these offsets.
inline constexpr std::size_t kProtocolDataSize = 40;
inline constexpr std::size_t kProtocolTypeAt = 0;
inline constexpr std::size_t kDataTypeAt = 4;
inline constexpr std::size_t kRequestValueAt = 8;
inline constexpr std::size_t kRequestSubValueAt = 12;
inline constexpr std::size_t kDataOffsetAt = 16;
inline constexpr std::size_t kDataLengthAt = 20;
inline constexpr std::uint32_t kProtocolNvme = 3;
inline constexpr std::uint32_t kNvmeDataIdentify = 1;
inline constexpr std::uint32_t kNvmeDataLogPage = 2;
inline constexpr std::uint32_t kIdentifyController = 1; ///< CNS 1
inline constexpr std::uint32_t kHealthLog = 2;          ///< log id 2, SMART / Health Information

/// STORAGE_PROTOCOL_DATA_DESCRIPTOR: Version, Size (both its own size), then the protocol data.
inline constexpr std::size_t kDescriptorHeaderSize = 8;
inline constexpr std::size_t kDescriptorSize = kDescriptorHeaderSize + kProtocolDataSize;

/// STORAGE_DEVICE_DESCRIPTOR's bus type, and the buses whose drives take the requests.
inline constexpr std::size_t kBusTypeAt = 28;
inline constexpr std::uint32_t kBusAta = 0x03;
inline constexpr std::uint32_t kBusSata = 0x0B;
inline constexpr std::uint32_t kBusNvme = 0x11;

/// SENDCMDOUTPARAMS: the buffer size, then DRIVERSTATUS (the driver's error first), then data.
inline constexpr std::size_t kDriverErrorAt = 4;
inline constexpr std::size_t kIdeErrorAt = 5;

enum class NvmePage { IdentifyController, HealthLog };

/// The IOCTL_STORAGE_QUERY_PROPERTY buffer for one NVMe page: the query (the adapter's property
/// for Identify Controller, the device's for the health log, which the driver asks for all
/// namespaces), the protocol data that names the page and where it goes, then room for the page.
/// The same buffer takes the answer.
std::vector<std::uint8_t> nvmeQuery(NvmePage page);

/// The page in the answer to nvmeQuery, of which the driver wrote `returned` bytes: the
/// descriptor must carry its own version and size, and its offset and length must give the whole
/// page inside what was written. None otherwise.
std::optional<std::span<const std::uint8_t>> nvmePageOf(std::span<const std::uint8_t> answer,
                                                        std::size_t returned, std::size_t pageSize);

/// The query for the drive's STORAGE_DEVICE_DESCRIPTOR (standard query).
std::array<std::uint8_t, kQueryHeaderSize + 4> deviceDescriptorQuery();

/// The bus type of a STORAGE_DEVICE_DESCRIPTOR of which `returned` bytes were written.
std::optional<std::uint32_t> busTypeOf(std::span<const std::uint8_t> answer, std::size_t returned);

/// How a drive on `busType` is asked: ATA and SATA disks with the ATA requests, NVMe drives with
/// the NVMe ones. None for any other bus (USB, SAS, SCSI, RAID, virtual, ...).
std::optional<SmartKind> kindOfBus(std::uint32_t busType);

/// N of "\\.\PhysicalDriveN" (any case, N at most three digits); none for any other name.
std::optional<int> physicalDriveNumber(std::string_view path);
/// "\\.\PhysicalDriveN".
std::string physicalDrivePath(int number);

/// The version answer as the query reads it. Each handle reaches one drive, which the driver
/// places in its controller's map (bit n, bit n + 4 for an ATAPI drive) where it sits on that
/// controller, not where the query's slot is; so the drive goes to `slot`, and is ATAPI when the
/// driver marks it so. None when the driver marks no drive.
std::optional<SmartVersionBlock> perDeviceVersion(const SmartVersionBlock& answer, int slot);

/// Whether `in` may go to a drive with `controlCode` into an answer of `outSize` bytes: only the
/// four requests of the query (IDENTIFY, SMART READ DATA, READ THRESHOLDS, ENABLE OPERATIONS),
/// each with its own control code and answer size.
bool ataRequestAllowed(std::uint32_t controlCode, const SmartInParams& in, std::size_t outSize);

/// Whether an answer of which the driver wrote `returned` bytes reports success: the driver's
/// error byte is zero and, for a read, sector data arrived.
bool ataAnswerOk(std::span<const std::uint8_t> out, std::size_t returned, bool readsSector);

} // namespace platform::smart_ioctl
