#include "platform/SmartDevice.h"

#include "platform/AtaPassThrough.h"
#include "platform/SystemFacts.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

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

/// Retries a request the kernel interrupted.
template <typename Request> int retried(Request request) {
    int result;
    do {
        result = request();
    } while (result < 0 && errno == EINTR);
    return result;
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
        if (retried([&] { return ::ioctl(m_fd, SG_IO, &header); }) < 0) {
            m_lastError = std::error_code(errno, std::generic_category());
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
        const int result = retried([&] { return ::ioctl(m_fd, NVME_IOCTL_ADMIN_CMD, &command); });
        if (result == 0) {
            return true;
        }
        // A positive result is the controller's status code: the command was refused.
        m_lastError = result < 0 ? std::error_code(errno, std::generic_category())
                                 : std::make_error_code(std::errc::io_error);
        std::fill(page.begin(), page.end(), std::uint8_t{0});
        return false;
    }

    int m_fd;
    std::error_code& m_lastError;
};

} // namespace

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

std::optional<SmartSlot> smartSlotOf(const std::string& devicePath, std::error_code& error,
                                     const std::string& sysBlock) {
    const std::filesystem::path resolved = std::filesystem::canonical(devicePath, error);
    if (error) {
        return std::nullopt;
    }
    const std::string name = resolved.filename().string();
    const std::string controller = nvmeController(name);
    if (controller == name) {
        return SmartSlot{name, resolved.string(), SmartKind::Nvme};
    }
    if (!controller.empty() && std::filesystem::exists(sysBlock + "/" + name, error)) {
        return SmartSlot{name, resolved.parent_path().string() + "/" + controller, SmartKind::Nvme};
    }
    if (const auto kind = scsiKind(sysBlock, name)) {
        return SmartSlot{name, resolved.string(), *kind};
    }
    error = std::make_error_code(std::errc::no_such_device);
    return std::nullopt;
}

SystemSmartDevice::SystemSmartDevice(std::vector<SmartSlot> slots) : m_slots(std::move(slots)) {}

std::unique_ptr<SmartHandle> SystemSmartDevice::open(int slot) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= m_slots.size()) {
        return nullptr;
    }
    const SmartSlot& entry = m_slots[static_cast<std::size_t>(slot)];
    const int fd = ::open(entry.devicePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        m_lastError = std::error_code(errno, std::generic_category());
        return nullptr;
    }
    // The path must still name the kind of device the slot was found as.
    struct stat status {};
    const bool nvme = entry.kind == SmartKind::Nvme;
    if (::fstat(fd, &status) != 0 || (nvme ? !S_ISCHR(status.st_mode) : !S_ISBLK(status.st_mode))) {
        ::close(fd);
        m_lastError = std::make_error_code(std::errc::no_such_device);
        return nullptr;
    }
    if (nvme) {
        return std::make_unique<NvmeHandle>(fd, m_lastError);
    }
    return std::make_unique<AtaHandle>(fd, slot, entry.kind == SmartKind::Optical, m_lastError);
}

} // namespace platform
