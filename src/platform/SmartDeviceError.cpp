#include "platform/SmartDevice.h"

namespace platform {

namespace {

class SmartDeviceCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "smart device"; }
    std::string message(int value) const override {
        switch (static_cast<SmartDeviceError>(value)) {
        case SmartDeviceError::ControlCharacters:
            return "the name holds control characters";
        case SmartDeviceError::RegularFile:
            return "a regular file, not a drive";
        case SmartDeviceError::Folder:
            return "a folder, not a drive";
        case SmartDeviceError::Fifo:
            return "a FIFO, not a drive";
        case SmartDeviceError::Socket:
            return "a socket, not a drive";
        case SmartDeviceError::NotADevice:
            return "not a drive";
        case SmartDeviceError::NotNvmeController:
            return "a character device that is not an NVMe controller";
        case SmartDeviceError::NotWholeDisk:
            return "a block device that is not a whole disk (a partition, or unknown to the "
                   "system)";
        case SmartDeviceError::NotAtaOrNvme:
            return "not an ATA or NVMe disk (USB-attached, SAS and virtual disks are not asked)";
        case SmartDeviceError::Replaced:
            return "the device changed while it was opened";
        case SmartDeviceError::NotPhysicalDrive:
            return "not a whole disk: give it as \\\\.\\PhysicalDriveN";
        }
        return "unknown problem";
    }
};

} // namespace

const std::error_category& smartDeviceCategory() {
    static const SmartDeviceCategory category;
    return category;
}

std::error_code make_error_code(SmartDeviceError error) {
    return {static_cast<int>(error), smartDeviceCategory()};
}

} // namespace platform
