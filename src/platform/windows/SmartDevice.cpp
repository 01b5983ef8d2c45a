#include "platform/SmartDevice.h"

#include "platform/AtaPassThrough.h"
#include "platform/SmartIoctl.h"
#include "platform/windows/WinFile.h"

#include <algorithm>
#include <cstddef>
#include <windows.h>
#include <winioctl.h>

namespace platform {

namespace {

namespace io = smart_ioctl;
using windows::OwnedHandle;

// The portable request builders write the system's own structures, byte for byte.
static_assert(SMART_GET_VERSION == kSmartGetVersion);
static_assert(SMART_SEND_DRIVE_COMMAND == kSmartSendDriveCommand);
static_assert(SMART_RCV_DRIVE_DATA == kSmartRcvDriveData);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == io::kStorageQueryProperty);
static_assert(sizeof(GETVERSIONINPARAMS) == kSmartVersionSize);
static_assert(offsetof(GETVERSIONINPARAMS, bIDEDeviceMap) == 3);
static_assert(sizeof(SENDCMDINPARAMS) - 1 == kSmartInSize);
static_assert(offsetof(SENDCMDINPARAMS, cBufferSize) == ata::kBufferSizeAt);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs.bFeaturesReg) == ata::kFeaturesAt);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs.bSectorCountReg) == ata::kSectorCountAt);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs.bSectorNumberReg) == ata::kSectorNumberAt);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs.bCylLowReg) == ata::kCylLowAt);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs.bCylHighReg) == ata::kCylHighAt);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs.bDriveHeadReg) == ata::kDriveHeadAt);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs.bCommandReg) == ata::kCommandAt);
static_assert(offsetof(SENDCMDINPARAMS, bDriveNumber) == 12);
static_assert(offsetof(SENDCMDOUTPARAMS, DriverStatus.bDriverError) == io::kDriverErrorAt);
static_assert(offsetof(SENDCMDOUTPARAMS, DriverStatus.bIDEError) == io::kIdeErrorAt);
static_assert(offsetof(SENDCMDOUTPARAMS, bBuffer) == kSmartStatusOutSize);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) == io::kQueryHeaderSize);
static_assert(StorageDeviceProperty == io::kStorageDeviceProperty);
static_assert(StorageAdapterProtocolSpecificProperty == io::kAdapterProtocolSpecificProperty);
static_assert(StorageDeviceProtocolSpecificProperty == io::kDeviceProtocolSpecificProperty);
static_assert(sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) == io::kProtocolDataSize);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolType) == io::kProtocolTypeAt);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, DataType) == io::kDataTypeAt);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestValue) ==
              io::kRequestValueAt);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue) ==
              io::kRequestSubValueAt);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset) == io::kDataOffsetAt);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataLength) == io::kDataLengthAt);
static_assert(sizeof(STORAGE_PROTOCOL_DATA_DESCRIPTOR) == io::kDescriptorSize);
static_assert(offsetof(STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData) ==
              io::kDescriptorHeaderSize);
static_assert(ProtocolTypeNvme == io::kProtocolNvme);
static_assert(NVMeDataTypeIdentify == io::kNvmeDataIdentify);
static_assert(NVMeDataTypeLogPage == io::kNvmeDataLogPage);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == io::kBusTypeAt);
static_assert(BusTypeAta == io::kBusAta && BusTypeSata == io::kBusSata &&
              BusTypeNvme == io::kBusNvme);

constexpr int kMaxSlots = 4;
/// The drive numbers looked at for slots; numbers of removed drives may leave gaps.
constexpr int kMaxDriveNumber = 32;
/// A device descriptor with room for its identity strings.
constexpr std::size_t kDescriptorRoom = 1024;

/// The access the SMART requests need: SMART_SEND_DRIVE_COMMAND and SMART_RCV_DRIVE_DATA want a
/// handle opened for reading and writing, which only an administrator gets for a drive.
constexpr DWORD kAskAccess = GENERIC_READ | GENERIC_WRITE;

OwnedHandle openDrive(int number, DWORD access) {
    const std::string path = io::physicalDrivePath(number);
    const std::wstring wide(path.begin(), path.end()); // ASCII only
    return OwnedHandle(CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
}

bool control(HANDLE handle, DWORD code, const void* in, std::size_t inSize, void* out,
             std::size_t outSize, DWORD& returned) {
    returned = 0;
    return DeviceIoControl(handle, code, const_cast<void*>(in), static_cast<DWORD>(inSize), out,
                           static_cast<DWORD>(outSize), &returned, nullptr) != FALSE;
}

/// How the drive behind `handle` is asked, by its bus; none with the reason when it may not be.
std::optional<SmartKind> kindOf(HANDLE handle, std::error_code& error) {
    const auto query = io::deviceDescriptorQuery();
    std::array<std::uint8_t, kDescriptorRoom> answer{};
    DWORD returned = 0;
    if (!control(handle, IOCTL_STORAGE_QUERY_PROPERTY, query.data(), query.size(), answer.data(),
                 answer.size(), returned)) {
        error = windows::lastError();
        return std::nullopt;
    }
    const std::optional<std::uint32_t> bus = io::busTypeOf(answer, returned);
    const std::optional<SmartKind> kind = bus ? io::kindOfBus(*bus) : std::nullopt;
    if (!kind) {
        error = bus ? SmartDeviceError::NotAtaOrNvme : SmartDeviceError::NotADevice;
    }
    return kind;
}

SmartSlot slotOf(int number, SmartKind kind) {
    return {"PhysicalDrive" + std::to_string(number), io::physicalDrivePath(number), kind};
}

class AtaHandle final : public SmartHandle {
public:
    AtaHandle(OwnedHandle handle, int slot, std::error_code& lastError)
        : m_handle(std::move(handle)), m_slot(slot), m_lastError(lastError) {}

    bool isNvme() const override { return false; }

    bool version(SmartVersionBlock& block) override {
        block.fill(0);
        DWORD returned = 0;
        if (!control(m_handle.get(), SMART_GET_VERSION, nullptr, 0, block.data(), block.size(),
                     returned)) {
            m_lastError = windows::lastError();
            return false;
        }
        const std::optional<SmartVersionBlock> mapped =
            returned == block.size() ? io::perDeviceVersion(block, m_slot) : std::nullopt;
        if (!mapped) {
            m_lastError = std::make_error_code(std::errc::io_error);
            return false;
        }
        block = *mapped;
        return true;
    }

    bool command(std::uint32_t controlCode, const SmartInParams& in,
                 std::span<std::uint8_t> out) override {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        if (!io::ataRequestAllowed(controlCode, in, out.size())) {
            m_lastError = std::make_error_code(std::errc::invalid_argument);
            return false;
        }
        DWORD returned = 0;
        if (!control(m_handle.get(), controlCode, in.data(), in.size(), out.data(), out.size(),
                     returned)) {
            m_lastError = windows::lastError();
            std::fill(out.begin(), out.end(), std::uint8_t{0});
            return false;
        }
        if (!io::ataAnswerOk(out, returned, ata::readsSector(in))) {
            // A refused request leaves no data behind, whatever the driver wrote.
            std::fill(out.begin() + kSmartStatusOutSize, out.end(), std::uint8_t{0});
            m_lastError = std::make_error_code(std::errc::io_error);
            return false;
        }
        return true;
    }

    bool nvmeIdentify(std::span<std::uint8_t, kNvmeIdentifySize>) override { return false; }
    bool nvmeHealthLog(std::span<std::uint8_t, kNvmeLogSize>) override { return false; }

private:
    OwnedHandle m_handle;
    int m_slot;
    std::error_code& m_lastError;
};

class NvmeHandle final : public SmartHandle {
public:
    NvmeHandle(OwnedHandle handle, std::error_code& lastError)
        : m_handle(std::move(handle)), m_lastError(lastError) {}

    bool isNvme() const override { return true; }
    bool version(SmartVersionBlock&) override { return false; }
    bool command(std::uint32_t, const SmartInParams&, std::span<std::uint8_t>) override {
        return false;
    }

    bool nvmeIdentify(std::span<std::uint8_t, kNvmeIdentifySize> page) override {
        return query(io::NvmePage::IdentifyController, page);
    }
    bool nvmeHealthLog(std::span<std::uint8_t, kNvmeLogSize> page) override {
        return query(io::NvmePage::HealthLog, page);
    }

private:
    bool query(io::NvmePage which, std::span<std::uint8_t> page) {
        std::fill(page.begin(), page.end(), std::uint8_t{0});
        std::vector<std::uint8_t> buffer = io::nvmeQuery(which);
        DWORD returned = 0;
        if (!control(m_handle.get(), IOCTL_STORAGE_QUERY_PROPERTY, buffer.data(), buffer.size(),
                     buffer.data(), buffer.size(), returned)) {
            m_lastError = windows::lastError();
            return false;
        }
        const auto data = io::nvmePageOf(buffer, returned, page.size());
        if (!data) {
            m_lastError = std::make_error_code(std::errc::io_error);
            return false;
        }
        std::copy(data->begin(), data->end(), page.begin());
        return true;
    }

    OwnedHandle m_handle;
    std::error_code& m_lastError;
};

std::unique_ptr<SmartHandle> handleFor(OwnedHandle handle, const SmartSlot& slot, int index,
                                       std::error_code& lastError) {
    if (slot.kind == SmartKind::Nvme) {
        return std::make_unique<NvmeHandle>(std::move(handle), lastError);
    }
    return std::make_unique<AtaHandle>(std::move(handle), index, lastError);
}

} // namespace

std::string_view smartRightsName() {
    return "administrator rights";
}

std::vector<SmartSlot> smartSlots(const std::string&) {
    std::vector<SmartSlot> slots;
    for (int number = 0; number < kMaxDriveNumber && slots.size() < kMaxSlots; ++number) {
        // Opened without access rights: enough to ask for the bus, and anyone may.
        const OwnedHandle drive = openDrive(number, 0);
        std::error_code error;
        if (drive.valid()) {
            if (const std::optional<SmartKind> kind = kindOf(drive.get(), error)) {
                slots.push_back(slotOf(number, *kind));
            }
        }
    }
    return slots;
}

CheckedDrive::~CheckedDrive() {
    if (m_fd != kNoHandle) {
        CloseHandle(m_fd);
    }
}

CheckedDrive::CheckedDrive(CheckedDrive&& other) noexcept
    : m_slot(std::move(other.m_slot)), m_fd(std::exchange(other.m_fd, kNoHandle)) {}

std::optional<CheckedDrive> openSmartDrive(const std::string& devicePath, std::error_code& error,
                                           const SmartSysfs&) {
    if (std::any_of(devicePath.begin(), devicePath.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
        error = SmartDeviceError::ControlCharacters;
        return std::nullopt;
    }
    // Only a whole drive by its number: no file, volume or other device is ever opened.
    const std::optional<int> number = io::physicalDriveNumber(devicePath);
    if (!number) {
        error = SmartDeviceError::NotPhysicalDrive;
        return std::nullopt;
    }
    // Its bus first, through a handle anyone may open, so that a drive that must not be asked is
    // refused with that reason rather than for missing rights.
    const OwnedHandle probe = openDrive(*number, 0);
    if (!probe.valid()) {
        error = windows::lastError();
        return std::nullopt;
    }
    const std::optional<SmartKind> kind = kindOf(probe.get(), error);
    if (!kind) {
        return std::nullopt;
    }
    OwnedHandle drive = openDrive(*number, kAskAccess);
    if (!drive.valid()) {
        error = windows::lastError();
        return std::nullopt;
    }
    // The handle the requests go through must reach the drive that was checked.
    const std::optional<SmartKind> opened = kindOf(drive.get(), error);
    if (opened != kind) {
        error = SmartDeviceError::Replaced;
        return std::nullopt;
    }
    error.clear();
    return CheckedDrive(slotOf(*number, *kind), drive.release());
}

SystemSmartDevice::SystemSmartDevice(std::vector<SmartSlot> slots, SmartSysfs sysfs)
    : m_slots(std::move(slots)), m_sysfs(std::move(sysfs)) {}

SystemSmartDevice::SystemSmartDevice(CheckedDrive drive)
    : m_slots({drive.slot()}), m_opened(std::move(drive)) {}

std::unique_ptr<SmartHandle> SystemSmartDevice::open(int slot) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= m_slots.size()) {
        return nullptr;
    }
    const SmartSlot& entry = m_slots[static_cast<std::size_t>(slot)];
    if (m_opened) {
        HANDLE copy = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), m_opened->descriptor(), GetCurrentProcess(),
                             &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            m_lastError = windows::lastError();
            return nullptr;
        }
        return handleFor(OwnedHandle(copy), entry, slot, m_lastError);
    }
    std::error_code error;
    std::optional<CheckedDrive> drive = openSmartDrive(entry.devicePath, error, m_sysfs);
    if (!drive) {
        m_lastError = error;
        return nullptr;
    }
    // The path must still name the drive the slot was found as.
    if (drive->slot().devicePath != entry.devicePath || drive->slot().kind != entry.kind) {
        m_lastError = SmartDeviceError::Replaced;
        return nullptr;
    }
    return handleFor(OwnedHandle(drive->release()), entry, slot, m_lastError);
}

} // namespace platform
