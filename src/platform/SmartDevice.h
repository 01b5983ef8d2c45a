#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace platform {

/// Sizes of the disk requests: the version block, the command's in-parameters, the answer of the
/// enable command and of a data request (16 bytes of status, then the 512-byte sector).
inline constexpr std::size_t kSmartVersionSize = 24;
inline constexpr std::size_t kSmartInSize = 32;
inline constexpr std::size_t kSmartStatusOutSize = 16;
inline constexpr std::size_t kSmartDataOutSize = 528;
inline constexpr std::size_t kNvmeIdentifySize = 4096;
inline constexpr std::size_t kNvmeLogSize = 512;

/// The control codes of the three disk requests.
inline constexpr std::uint32_t kSmartGetVersion = 0x74080;
inline constexpr std::uint32_t kSmartSendDriveCommand = 0x7C084;
inline constexpr std::uint32_t kSmartRcvDriveData = 0x7C088;

using SmartVersionBlock = std::array<std::uint8_t, kSmartVersionSize>;
using SmartInParams = std::array<std::uint8_t, kSmartInSize>;

/// One open drive. Destroying the handle closes the device.
class SmartHandle {
public:
    virtual ~SmartHandle() = default;

    /// Whether the drive is an NVMe controller (asked with the NVMe requests, not the ATA ones).
    virtual bool isNvme() const = 0;
    /// The version request: the 24-byte block whose byte 3 maps the slots.
    virtual bool version(SmartVersionBlock& block) = 0;
    /// One ATA request: `in` as SENDCMDINPARAMS, `out` 16 or 528 bytes as SENDCMDOUTPARAMS.
    virtual bool command(std::uint32_t controlCode, const SmartInParams& in,
                         std::span<std::uint8_t> out) = 0;
    /// NVMe Identify Controller and the SMART / Health log page.
    virtual bool nvmeIdentify(std::span<std::uint8_t, kNvmeIdentifySize> page) = 0;
    virtual bool nvmeHealthLog(std::span<std::uint8_t, kNvmeLogSize> page) = 0;
};

/// The drives behind the four slots.
class SmartDevice {
public:
    virtual ~SmartDevice() = default;

    /// Whether requests address one device per slot with drive/head 0xA0 (the NT rule); when
    /// false, one shared device is addressed by the drive/head register's device bit.
    virtual bool isWinNT() const { return true; }
    /// The drive of `slot`, or none when it cannot be opened.
    virtual std::unique_ptr<SmartHandle> open(int slot) = 0;
};

/// How a slot's drive is asked.
enum class SmartKind { AtaDisk, Optical, Nvme };

struct SmartSlot {
    std::string name;       ///< the block device's name, e.g. "sda", "nvme0n1"
    std::string devicePath; ///< what is opened: "/dev/sda", or the controller "/dev/nvme0"
    SmartKind kind = SmartKind::AtaDisk;

    friend bool operator==(const SmartSlot&, const SmartSlot&) = default;
};

/// The drives that take the slots: whole disks driven by the ATA layer and optical drives, in
/// byte order of their names, then the first namespace of each NVMe controller; at most four.
/// USB-attached, SAS, virtual and memory-backed disks never take a slot.
std::vector<SmartSlot> smartSlots(const std::string& sysBlock = "/sys/block");

/// The slot entry for one device given by path ("/dev/sda", "/dev/nvme0", "/dev/nvme0n1", or a
/// link to one of them); none with the reason when it is no drive that can be asked.
std::optional<SmartSlot> smartSlotOf(const std::string& devicePath, std::error_code& error,
                                     const std::string& sysBlock = "/sys/block");

/// The system's drives behind `slots`. Records why the last open or request failed, so that a
/// caller can tell "no rights" from "no answer". Handles must not outlive the device.
class SystemSmartDevice final : public SmartDevice {
public:
    explicit SystemSmartDevice(std::vector<SmartSlot> slots);
    std::unique_ptr<SmartHandle> open(int slot) override;
    /// The error of the last failed open or request; empty when none failed.
    std::error_code lastError() const { return m_lastError; }

private:
    std::vector<SmartSlot> m_slots;
    std::error_code m_lastError;
};

} // namespace platform
