#pragma once

#include "platform/NativeHandle.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
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
    /// Why the last open or request failed; empty when none failed or nobody knows.
    virtual std::error_code lastError() const { return {}; }
};

/// How a slot's drive is asked.
enum class SmartKind { AtaDisk, Optical, Nvme };

struct SmartSlot {
    std::string name;       ///< the drive's name: "sda", "nvme0n1", "PhysicalDrive0"
    std::string devicePath; ///< what is opened: "/dev/sda", the controller "/dev/nvme0", or
                            ///< "\\.\PhysicalDrive0"
    SmartKind kind = SmartKind::AtaDisk;

    friend bool operator==(const SmartSlot&, const SmartSlot&) = default;
};

/// Where Linux describes its disks; tests point these at trees of their own. Every entry has a
/// file "dev" holding its device number as "MAJOR:MINOR". Windows asks the drives themselves and
/// ignores it.
struct SmartSysfs {
    std::string block = "/sys/block";          ///< whole disks, by kernel name
    std::string nvmeClass = "/sys/class/nvme"; ///< NVMe controllers, by kernel name
};

/// The drives that take the slots, at most four. Linux: whole disks driven by the ATA layer and
/// optical drives, in byte order of their names, then the first namespace of each NVMe
/// controller. Windows: the physical drives on an ATA, SATA or NVMe bus, by number. USB-attached,
/// SAS, virtual and memory-backed disks never take a slot.
std::vector<SmartSlot> smartSlots(const std::string& sysBlock = "/sys/block");

/// Why a path names no drive that may be asked, beside the system's own error codes.
enum class SmartDeviceError {
    ControlCharacters = 1, ///< the name holds control characters
    RegularFile,
    Folder,
    Fifo,
    Socket,
    NotADevice,        ///< any other kind of file
    NotNvmeController, ///< a character device of no NVMe controller
    NotWholeDisk,      ///< a block device that is no whole disk (a partition, or unknown)
    NotAtaOrNvme,      ///< a whole disk the ATA and NVMe requests must not reach
    Replaced,          ///< the node changed between the check and the opening
    NotPhysicalDrive,  ///< (Windows) a name other than \\.\PhysicalDriveN
};
const std::error_category& smartDeviceCategory();
std::error_code make_error_code(SmartDeviceError error);

/// What the system calls the rights that reading a drive needs ("root rights").
std::string_view smartRightsName();

/// What a file is, as its descriptor's status tells it (Linux).
struct DeviceNode {
    enum class Type { Regular, Folder, Fifo, Socket, Block, Character, Other };
    Type type = Type::Other;
    std::uint32_t deviceMajor = 0; ///< the device number of a block or character device
    std::uint32_t deviceMinor = 0;
};

/// Which drive `node` is, by its device number alone (never by a name): a whole disk of
/// `sysfs.block` that the ATA requests may reach, an NVMe namespace there whose controller is in
/// `sysfs.nvmeClass`, or an NVMe controller of `sysfs.nvmeClass`. None, with the reason, for
/// anything else. The files of `sysfs` are read as untrusted text. Linux only.
std::optional<SmartSlot> identifySmartNode(const DeviceNode& node, const SmartSysfs& sysfs,
                                           std::error_code& error);

/// A drive opened and checked through one descriptor (Windows: handle), which it owns.
class CheckedDrive {
public:
    CheckedDrive(SmartSlot slot, NativeHandle fd) : m_slot(std::move(slot)), m_fd(fd) {}
    ~CheckedDrive();
    CheckedDrive(CheckedDrive&& other) noexcept;
    CheckedDrive& operator=(CheckedDrive&&) = delete;
    CheckedDrive(const CheckedDrive&) = delete;
    CheckedDrive& operator=(const CheckedDrive&) = delete;

    const SmartSlot& slot() const { return m_slot; }
    NativeHandle descriptor() const { return m_fd; }
    /// Hands the descriptor over to the caller.
    NativeHandle release() { return std::exchange(m_fd, kNoHandle); }

private:
    SmartSlot m_slot;
    NativeHandle m_fd;
};

/// Opens the drive at `devicePath` ("/dev/sda", "/dev/nvme0", "/dev/nvme0n1", or a link to one
/// of them) and checks on the descriptor what it is (identifySmartNode). The path is first opened
/// only as a place in the file tree, so that no FIFO, folder or other device is ever opened for
/// reading, and the drive is then opened through that descriptor. Nothing is sent to the drive.
/// None, with the reason, when it is no drive that may be asked. Windows takes only
/// "\\.\PhysicalDriveN", opens it for the SMART requests (which needs administrator rights)
/// and asks the handle for its bus; `sysfs` is not used there.
std::optional<CheckedDrive> openSmartDrive(const std::string& devicePath, std::error_code& error,
                                           const SmartSysfs& sysfs = {});

/// The system's drives: those behind `slots`, each opened by its path and checked to be the
/// drive that was found (openSmartDrive), or one drive already opened and checked, as slot 0.
/// Records why the last open or request failed, so that a caller can tell "no rights" from "no
/// answer". Handles must not outlive the device.
class SystemSmartDevice final : public SmartDevice {
public:
    explicit SystemSmartDevice(std::vector<SmartSlot> slots, SmartSysfs sysfs = {});
    explicit SystemSmartDevice(CheckedDrive drive);
    std::unique_ptr<SmartHandle> open(int slot) override;
    /// The error of the last failed open or request; empty when none failed.
    std::error_code lastError() const override { return m_lastError; }

private:
    std::vector<SmartSlot> m_slots;
    SmartSysfs m_sysfs;
    std::optional<CheckedDrive> m_opened;
    std::error_code m_lastError;
};

} // namespace platform

template <> struct std::is_error_code_enum<platform::SmartDeviceError> : std::true_type {};
