#include "platform/SmartDevice.h"

#include "platform/AtaPassThrough.h"
#include "platform/SystemFacts.h"
#include "platform/linux/SystemCall.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

constexpr int kMaxSlots = 4;
constexpr unsigned kTimeoutMs = 10000;
constexpr std::size_t kSenseSize = 32;
constexpr std::size_t kSectorSize = 512;

constexpr std::uint8_t kNvmeGetLogPage = 0x02;
constexpr std::uint8_t kNvmeIdentify = 0x06;
constexpr std::uint32_t kIdentifyController = 1;
constexpr std::uint32_t kHealthLogId = 2;
constexpr std::uint32_t kAllNamespaces = 0xFFFFFFFF;

std::string firstWord(const std::string& path) {
    const std::string text = readSmallFile(path, 256).value_or(std::string());
    const auto begin = text.find_first_not_of(" \t\n");
    if (begin == std::string::npos) {
        return {};
    }
    return text.substr(begin, text.find_first_of(" \t\n", begin) - begin);
}

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

/// "nvme<N>" of an NVMe controller, or of a namespace "nvme<N>n<M>"; empty for other names.
std::string nvmeController(std::string_view name) {
    if (!name.starts_with("nvme")) {
        return {};
    }
    const std::string_view rest = name.substr(4);
    const std::size_t n = rest.find('n');
    if (n == std::string_view::npos) {
        return allDigits(rest) ? std::string(name) : std::string();
    }
    if (!allDigits(rest.substr(0, n)) || !allDigits(rest.substr(n + 1))) {
        return {};
    }
    return std::string(name.substr(0, 4 + n));
}

/// At most this many entries of a sysfs folder are looked at.
constexpr std::size_t kMaxEntries = 4096;

/// The device number in a sysfs "dev" file: "MAJOR:MINOR" and a line feed, nothing else.
std::optional<std::pair<std::uint32_t, std::uint32_t>> deviceNumber(const std::string& path) {
    const std::optional<std::string> text = readSmallFile(path, 32);
    if (!text || !text->ends_with('\n')) {
        return std::nullopt;
    }
    const std::string_view line = std::string_view(*text).substr(0, text->size() - 1);
    const std::size_t colon = line.find(':');
    const auto number = [](std::string_view digits) -> std::optional<std::uint32_t> {
        if (!allDigits(digits) || digits.size() > 10) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (const char c : digits) {
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        }
        return value > UINT32_MAX ? std::nullopt : std::optional(static_cast<std::uint32_t>(value));
    };
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto major = number(line.substr(0, colon));
    const auto minor = number(line.substr(colon + 1));
    if (!major || !minor) {
        return std::nullopt;
    }
    return std::make_pair(*major, *minor);
}

/// The entry of `folder` whose "dev" file holds the device number of `node`; empty when none.
std::string entryWithNumber(const std::string& folder, const DeviceNode& node) {
    std::error_code error;
    std::size_t seen = 0;
    for (std::filesystem::directory_iterator it(folder, error), end;
         !error && it != end && seen < kMaxEntries; it.increment(error), ++seen) {
        const std::string name = it->path().filename().string();
        const auto number = deviceNumber(folder + "/" + name + "/dev");
        if (number && number->first == node.deviceMajor && number->second == node.deviceMinor) {
            return name;
        }
    }
    return {};
}

/// Whether the SCSI device `name` of `sysBlock` may be sent ATA commands: a disk driven by the
/// ATA layer (vendor "ATA") or an optical drive, never one attached over USB.
std::optional<SmartKind> scsiKind(const std::string& sysBlock, const std::string& name) {
    if (!name.starts_with("sd") && !name.starts_with("sr")) {
        return std::nullopt;
    }
    const std::string device = sysBlock + "/" + name + "/device";
    std::error_code error;
    const std::string resolved = std::filesystem::canonical(device, error).string();
    if (error || resolved.find("/usb") != std::string::npos) {
        return std::nullopt;
    }
    const std::string type = firstWord(device + "/type");
    if (type == "0" && firstWord(device + "/vendor") == "ATA") {
        return SmartKind::AtaDisk;
    }
    if (type == "5") {
        return SmartKind::Optical;
    }
    return std::nullopt;
}

class AtaHandle final : public SmartHandle {
public:
    AtaHandle(int fd, int slot, bool optical, std::error_code& lastError)
        : m_fd(fd), m_slot(slot), m_optical(optical), m_lastError(lastError) {}
    ~AtaHandle() override { ::close(m_fd); }
    AtaHandle(const AtaHandle&) = delete;
    AtaHandle& operator=(const AtaHandle&) = delete;

    bool isNvme() const override { return false; }

    // One device per slot: the map marks this slot, and its ATAPI bit for an optical drive.
    bool version(SmartVersionBlock& block) override {
        block.fill(0);
        block[3] = static_cast<std::uint8_t>((1u << m_slot) | (m_optical ? 1u << (m_slot + 4) : 0));
        return true;
    }

    bool command(std::uint32_t controlCode, const SmartInParams& in,
                 std::span<std::uint8_t> out) override {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        const bool read = ata::readsSector(in);
        const auto cdb = ata::passThroughCdb(in);
        const std::uint32_t expectedCode = read ? kSmartRcvDriveData : kSmartSendDriveCommand;
        const std::size_t expectedSize = read ? kSmartDataOutSize : kSmartStatusOutSize;
        if (!cdb || controlCode != expectedCode || out.size() != expectedSize) {
            m_lastError = std::make_error_code(std::errc::invalid_argument);
            return false;
        }
        ata::Cdb command = *cdb;
        const std::span<std::uint8_t> data =
            read ? out.subspan(kSmartStatusOutSize, kSectorSize) : std::span<std::uint8_t>();
        std::array<std::uint8_t, kSenseSize> sense{};
        sg_io_hdr_t header{};
        header.interface_id = 'S';
        header.dxfer_direction = read ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
        header.cmd_len = static_cast<unsigned char>(command.size());
        header.mx_sb_len = static_cast<unsigned char>(sense.size());
        header.dxfer_len = static_cast<unsigned>(data.size());
        header.dxferp = data.empty() ? nullptr : data.data();
        header.cmdp = command.data();
        header.sbp = sense.data();
        header.timeout = kTimeoutMs;
        if (linux_calls::retryOnEintr([&] { return ::ioctl(m_fd, SG_IO, &header); }) < 0) {
            m_lastError = linux_calls::lastError();
            return false;
        }
        const ata::Reply reply{header.status, static_cast<std::uint8_t>(header.host_status),
                               static_cast<std::uint8_t>(header.driver_status), header.resid,
                               std::span<const std::uint8_t>(sense).first(
                                   std::min<std::size_t>(header.sb_len_wr, sense.size()))};
        const ata::Outcome outcome = ata::judgeReply(reply, data);
        if (read) {
            out[1] = static_cast<std::uint8_t>(kSectorSize >> 8);
        }
        out[5] = outcome.ataError;
        if (!outcome.ok) {
            // A refused request leaves no data behind, whatever the drive transferred.
            std::fill(data.begin(), data.end(), std::uint8_t{0});
            out[4] = 1;
            m_lastError = std::make_error_code(std::errc::io_error);
        }
        return outcome.ok;
    }

    bool nvmeIdentify(std::span<std::uint8_t, kNvmeIdentifySize>) override { return false; }
    bool nvmeHealthLog(std::span<std::uint8_t, kNvmeLogSize>) override { return false; }

private:
    int m_fd;
    int m_slot;
    bool m_optical;
    std::error_code& m_lastError;
};

class NvmeHandle final : public SmartHandle {
public:
    NvmeHandle(int fd, std::error_code& lastError) : m_fd(fd), m_lastError(lastError) {}
    ~NvmeHandle() override { ::close(m_fd); }
    NvmeHandle(const NvmeHandle&) = delete;
    NvmeHandle& operator=(const NvmeHandle&) = delete;

    bool isNvme() const override { return true; }
    bool version(SmartVersionBlock&) override { return false; }
    bool command(std::uint32_t, const SmartInParams&, std::span<std::uint8_t>) override {
        return false;
    }

    bool nvmeIdentify(std::span<std::uint8_t, kNvmeIdentifySize> page) override {
        return admin(kNvmeIdentify, 0, kIdentifyController, page);
    }

    bool nvmeHealthLog(std::span<std::uint8_t, kNvmeLogSize> page) override {
        // Number of dwords minus one in the upper half, the log id in the lower.
        const auto dwords = static_cast<std::uint32_t>(page.size() / 4 - 1);
        return admin(kNvmeGetLogPage, kAllNamespaces, dwords << 16 | kHealthLogId, page);
    }

private:
    bool admin(std::uint8_t opcode, std::uint32_t nsid, std::uint32_t cdw10,
               std::span<std::uint8_t> page) {
        std::fill(page.begin(), page.end(), std::uint8_t{0});
        nvme_admin_cmd command{};
        command.opcode = opcode;
        command.nsid = nsid;
        command.addr = reinterpret_cast<std::uintptr_t>(page.data());
        command.data_len = static_cast<std::uint32_t>(page.size());
        command.cdw10 = cdw10;
        command.timeout_ms = kTimeoutMs;
        const int result = linux_calls::retryOnEintr(
            [&] { return ::ioctl(m_fd, NVME_IOCTL_ADMIN_CMD, &command); });
        if (result == 0) {
            return true;
        }
        // A positive result is the controller's status code: the command was refused.
        m_lastError =
            result < 0 ? linux_calls::lastError() : std::make_error_code(std::errc::io_error);
        std::fill(page.begin(), page.end(), std::uint8_t{0});
        return false;
    }

    int m_fd;
    std::error_code& m_lastError;
};

} // namespace

std::string_view smartRightsName() {
    return "root rights";
}

std::vector<SmartSlot> smartSlots(const std::string& sysBlock) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(sysBlock, error), end; !error && it != end;
         it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());

    std::vector<SmartSlot> ata;
    std::vector<SmartSlot> nvme;
    for (const std::string& name : names) {
        const std::string controller = nvmeController(name);
        if (!controller.empty() && controller != name && name.ends_with("n1") &&
            name.size() == controller.size() + 2) {
            nvme.push_back({name, "/dev/" + controller, SmartKind::Nvme});
        } else if (const auto kind = scsiKind(sysBlock, name)) {
            ata.push_back({name, "/dev/" + name, *kind});
        }
    }
    ata.insert(ata.end(), nvme.begin(), nvme.end());
    if (ata.size() > kMaxSlots) {
        ata.resize(kMaxSlots);
    }
    return ata;
}

namespace {

DeviceNode nodeOf(const struct stat& status) {
    DeviceNode node;
    switch (status.st_mode & S_IFMT) {
    case S_IFREG:
        node.type = DeviceNode::Type::Regular;
        break;
    case S_IFDIR:
        node.type = DeviceNode::Type::Folder;
        break;
    case S_IFIFO:
        node.type = DeviceNode::Type::Fifo;
        break;
    case S_IFSOCK:
        node.type = DeviceNode::Type::Socket;
        break;
    case S_IFBLK:
        node.type = DeviceNode::Type::Block;
        break;
    case S_IFCHR:
        node.type = DeviceNode::Type::Character;
        break;
    default:
        break;
    }
    node.deviceMajor = ::major(status.st_rdev);
    node.deviceMinor = ::minor(status.st_rdev);
    return node;
}

/// Closes a descriptor when it goes out of scope, unless it was handed on.
struct ScopedFd {
    int fd = -1;
    ~ScopedFd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int release() { return std::exchange(fd, -1); }
};

/// A handle that asks the drive behind `fd`, which it then owns.
std::unique_ptr<SmartHandle> handleFor(int fd, const SmartSlot& slot, int index,
                                       std::error_code& lastError) {
    if (slot.kind == SmartKind::Nvme) {
        return std::make_unique<NvmeHandle>(fd, lastError);
    }
    return std::make_unique<AtaHandle>(fd, index, slot.kind == SmartKind::Optical, lastError);
}

} // namespace

std::optional<SmartSlot> identifySmartNode(const DeviceNode& node, const SmartSysfs& sysfs,
                                           std::error_code& error) {
    switch (node.type) {
    case DeviceNode::Type::Regular:
        error = SmartDeviceError::RegularFile;
        return std::nullopt;
    case DeviceNode::Type::Folder:
        error = SmartDeviceError::Folder;
        return std::nullopt;
    case DeviceNode::Type::Fifo:
        error = SmartDeviceError::Fifo;
        return std::nullopt;
    case DeviceNode::Type::Socket:
        error = SmartDeviceError::Socket;
        return std::nullopt;
    case DeviceNode::Type::Other:
        error = SmartDeviceError::NotADevice;
        return std::nullopt;
    case DeviceNode::Type::Character: {
        const std::string name = entryWithNumber(sysfs.nvmeClass, node);
        if (name.empty() || nvmeController(name) != name) {
            error = SmartDeviceError::NotNvmeController;
            return std::nullopt;
        }
        error.clear();
        return SmartSlot{name, "/dev/" + name, SmartKind::Nvme};
    }
    case DeviceNode::Type::Block:
        break;
    }
    const std::string name = entryWithNumber(sysfs.block, node);
    if (name.empty()) {
        error = SmartDeviceError::NotWholeDisk;
        return std::nullopt;
    }
    const std::string controller = nvmeController(name);
    if (!controller.empty() && controller != name) {
        // A namespace takes the NVMe admin requests for its controller.
        std::error_code missing;
        if (!std::filesystem::is_directory(sysfs.nvmeClass + "/" + controller, missing)) {
            error = SmartDeviceError::NotAtaOrNvme;
            return std::nullopt;
        }
        error.clear();
        return SmartSlot{name, "/dev/" + controller, SmartKind::Nvme};
    }
    if (const auto kind = scsiKind(sysfs.block, name)) {
        error.clear();
        return SmartSlot{name, "/dev/" + name, *kind};
    }
    error = SmartDeviceError::NotAtaOrNvme;
    return std::nullopt;
}

CheckedDrive::~CheckedDrive() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

CheckedDrive::CheckedDrive(CheckedDrive&& other) noexcept
    : m_slot(std::move(other.m_slot)), m_fd(std::exchange(other.m_fd, -1)) {}

std::optional<CheckedDrive> openSmartDrive(const std::string& devicePath, std::error_code& error,
                                           const SmartSysfs& sysfs) {
    if (std::any_of(devicePath.begin(), devicePath.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
        error = SmartDeviceError::ControlCharacters;
        return std::nullopt;
    }
    // A descriptor of the place only: opening it reaches no driver, so a FIFO never blocks and
    // no device other than a drive is ever opened.
    ScopedFd place{::open(devicePath.c_str(), O_PATH | O_CLOEXEC)};
    struct stat status {};
    if (place.fd < 0 || ::fstat(place.fd, &status) != 0) {
        error = linux_calls::lastError();
        return std::nullopt;
    }
    std::optional<SmartSlot> slot = identifySmartNode(nodeOf(status), sysfs, error);
    if (!slot) {
        return std::nullopt;
    }
    // The drive itself, opened through the checked descriptor rather than by its name again.
    const std::string self = "/proc/self/fd/" + std::to_string(place.fd);
    ScopedFd drive{::open(self.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    struct stat opened {};
    if (drive.fd < 0 || ::fstat(drive.fd, &opened) != 0) {
        error = linux_calls::lastError();
        return std::nullopt;
    }
    if (opened.st_dev != status.st_dev || opened.st_ino != status.st_ino ||
        opened.st_rdev != status.st_rdev ||
        (opened.st_mode & S_IFMT) != (status.st_mode & S_IFMT)) {
        error = SmartDeviceError::Replaced;
        return std::nullopt;
    }
    error.clear();
    return CheckedDrive(std::move(*slot), drive.release());
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
        const int fd = ::fcntl(m_opened->descriptor(), F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            m_lastError = linux_calls::lastError();
            return nullptr;
        }
        return handleFor(fd, entry, slot, m_lastError);
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
    return handleFor(drive->release(), entry, slot, m_lastError);
}

} // namespace platform
