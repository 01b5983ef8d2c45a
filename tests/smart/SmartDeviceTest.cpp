#include "platform/SmartDevice.h"

#include "smart/mSMARTCall.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace platform;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(SmartSlots, OnlyAtaOpticalAndNvmeDrivesTakeSlots) {
    TempDir dir;
    const std::string sys = dir.file("block");
    const auto scsi = [&](const std::string& name, const std::string& type,
                          const std::string& vendor, const std::string& parent = "pci") {
        // Like sysfs: the disk's "device" is a link into the bus tree.
        const std::string target = dir.file("devices/" + parent + "/" + name);
        writeFile(target + "/type", type + "\n");
        writeFile(target + "/vendor", vendor + "\n");
        std::filesystem::create_directories(sys + "/" + name);
        std::filesystem::create_directory_symlink(target, sys + "/" + name + "/device");
    };
    scsi("sdb", "0", "ATA     ", "usb1"); // a bridge that passes the vendor through
    scsi("sdc", "0", "JMicron");          // USB-bridged or SAS disk
    scsi("sda", "0", "ATA     ");
    scsi("sr0", "5", "HL-DT-ST");
    for (const char* name : {"nvme1n1", "nvme0n2", "nvme0n1", "loop0", "vda", "zram0", "dm-0"}) {
        std::filesystem::create_directories(sys + "/" + name);
    }
    writeFile(sys + "/mmcblk0/device/type", "0\n");

    EXPECT_EQ(smartSlots(sys),
              (std::vector<SmartSlot>{{"sda", "/dev/sda", SmartKind::AtaDisk},
                                      {"sr0", "/dev/sr0", SmartKind::Optical},
                                      {"nvme0n1", "/dev/nvme0", SmartKind::Nvme},
                                      {"nvme1n1", "/dev/nvme1", SmartKind::Nvme}}));
    scsi("sdd", "0", "ATA");
    EXPECT_EQ(smartSlots(sys).size(), 4u);
    EXPECT_EQ(smartSlots(sys)[1].name, "sdd");
    EXPECT_TRUE(smartSlots(dir.file("missing")).empty());
}

namespace {

/// A sysfs tree of its own: whole disks in block/, NVMe controllers in class-nvme/, each with
/// its device number; ATA disks with the bus facts that let them take the requests.
struct FakeSysfs {
    TempDir dir;
    SmartSysfs sysfs{dir.file("block"), dir.file("class-nvme")};

    void disk(const std::string& name, const std::string& dev, const std::string& vendor = "") {
        writeFile(sysfs.block + "/" + name + "/dev", dev);
        if (!vendor.empty()) {
            const std::string target = dir.file("devices/pci/" + name);
            writeFile(target + "/type", "0\n");
            writeFile(target + "/vendor", vendor + "\n");
            std::filesystem::create_directory_symlink(target, sysfs.block + "/" + name + "/device");
        }
    }
    void controller(const std::string& name, const std::string& dev) {
        writeFile(sysfs.nvmeClass + "/" + name + "/dev", dev);
    }
};

DeviceNode node(DeviceNode::Type type, std::uint32_t major, std::uint32_t minor) {
    return {type, major, minor};
}

} // namespace

TEST(SmartSlots, ADriveIsKnownByItsDeviceNumberNeverByItsName) {
    FakeSysfs fake;
    fake.disk("sda", "8:0\n", "ATA");
    fake.disk("vda", "253:0\n");
    fake.disk("nvme0n1", "259:0\n");
    fake.controller("nvme0", "241:0\n");
    // Hostile or damaged number files never match.
    fake.disk("sdb", "8:16junk\n", "ATA");
    fake.disk("sdc", "8:32", "ATA");
    fake.disk("sdd", "+8:48\n", "ATA");
    fake.disk("sde", "99999999999:64\n", "ATA");
    fake.disk("sdf", std::string(100000, '8').append(":80\n"), "ATA");
    fake.controller("nvme1", "241:1\n\n");
    fake.controller("evil", "241:2\n");

    using Type = DeviceNode::Type;
    std::error_code error;
    EXPECT_EQ(identifySmartNode(node(Type::Block, 8, 0), fake.sysfs, error),
              (SmartSlot{"sda", "/dev/sda", SmartKind::AtaDisk}));
    EXPECT_FALSE(error);
    EXPECT_EQ(identifySmartNode(node(Type::Block, 259, 0), fake.sysfs, error),
              (SmartSlot{"nvme0n1", "/dev/nvme0", SmartKind::Nvme}));
    EXPECT_EQ(identifySmartNode(node(Type::Character, 241, 0), fake.sysfs, error),
              (SmartSlot{"nvme0", "/dev/nvme0", SmartKind::Nvme}));

    const std::vector<std::pair<DeviceNode, SmartDeviceError>> refused = {
        {node(Type::Block, 8, 1), SmartDeviceError::NotWholeDisk}, // a partition
        {node(Type::Block, 253, 0), SmartDeviceError::NotAtaOrNvme},
        {node(Type::Block, 8, 16), SmartDeviceError::NotWholeDisk},
        {node(Type::Block, 8, 32), SmartDeviceError::NotWholeDisk},
        {node(Type::Block, 8, 48), SmartDeviceError::NotWholeDisk},
        {node(Type::Block, 8, 64), SmartDeviceError::NotWholeDisk},
        {node(Type::Block, 8, 80), SmartDeviceError::NotWholeDisk},
        {node(Type::Character, 1, 3), SmartDeviceError::NotNvmeController},
        {node(Type::Character, 241, 1), SmartDeviceError::NotNvmeController},
        {node(Type::Character, 241, 2), SmartDeviceError::NotNvmeController},
        {node(Type::Character, 8, 0), SmartDeviceError::NotNvmeController},
        {node(Type::Fifo, 0, 0), SmartDeviceError::Fifo},
        {node(Type::Folder, 0, 0), SmartDeviceError::Folder},
        {node(Type::Regular, 0, 0), SmartDeviceError::RegularFile},
        {node(Type::Socket, 0, 0), SmartDeviceError::Socket},
    };
    for (const auto& [given, reason] : refused) {
        EXPECT_FALSE(identifySmartNode(given, fake.sysfs, error));
        EXPECT_EQ(error, reason) << given.deviceMajor << ":" << given.deviceMinor;
    }
    // A namespace whose controller the system does not list is no NVMe drive either.
    std::filesystem::remove_all(fake.sysfs.nvmeClass + "/nvme0");
    EXPECT_FALSE(identifySmartNode(node(Type::Block, 259, 0), fake.sysfs, error));
    EXPECT_EQ(error, SmartDeviceError::NotAtaOrNvme);
}

TEST(SmartSlots, ADeviceThatCannotBeAskedSaysWhy) {
    // Files that only carry a drive's name: a FIFO "sda" (never opened for reading, so this
    // does not block), a folder "nvme0", a regular file, a link "nvme0" to /dev/null.
    FakeSysfs fake;
    fake.disk("sda", "8:0\n", "ATA");
    fake.controller("nvme0", "259:0\n");
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("sda").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("nvme0"));
    writeFile(dir.file("sdb"), "");
    std::filesystem::create_directory(dir.file("links"));
    std::filesystem::create_symlink("/dev/null", dir.file("links/nvme0"));

    const std::vector<std::pair<std::string, std::error_code>> refused = {
        {dir.file("sda"), SmartDeviceError::Fifo},
        {dir.file("nvme0"), SmartDeviceError::Folder},
        {dir.file("sdb"), SmartDeviceError::RegularFile},
        {dir.file("links/nvme0"), SmartDeviceError::NotNvmeController},
        {"/dev/null", SmartDeviceError::NotNvmeController},
        {dir.file("sd\na"), SmartDeviceError::ControlCharacters},
        {"/dev/\x1b[2Jsda", SmartDeviceError::ControlCharacters},
        {"/nonexistent/sda", std::make_error_code(std::errc::no_such_file_or_directory)},
    };
    for (const auto& [path, reason] : refused) {
        std::error_code error;
        EXPECT_FALSE(openSmartDrive(path, error, fake.sysfs)) << path;
        EXPECT_EQ(error, reason) << path << ": " << error.message();
    }

    // What the device number says decides: with a system that lists 1:3 as an NVMe controller,
    // /dev/null is opened as one (only opened: nothing is sent here).
    fake.controller("nvme0", "1:3\n");
    std::error_code error;
    const std::optional<CheckedDrive> drive =
        openSmartDrive(dir.file("links/nvme0"), error, fake.sysfs);
    ASSERT_TRUE(drive) << error.message();
    EXPECT_EQ(drive->slot(), (SmartSlot{"nvme0", "/dev/nvme0", SmartKind::Nvme}));
    EXPECT_GE(drive->descriptor(), 0);
}

TEST(SmartSlots, AnEmptyOrUnopenableSlotIsNotPresent) {
    SystemSmartDevice none({});
    EXPECT_EQ(mSMARTCall::GetDriveInfo(none, 0), mSMARTDef::DriveInfo{});
    SystemSmartDevice missing({{"sdz", "/nonexistent/sdz", SmartKind::AtaDisk}});
    EXPECT_EQ(mSMARTCall::GetDriveInfo(missing, 0), mSMARTDef::DriveInfo{});
    EXPECT_EQ(missing.lastError(), std::errc::no_such_file_or_directory);
    // A path that is no block device is refused before any request is sent.
    SystemSmartDevice notADisk({{"null", "/dev/null", SmartKind::AtaDisk}});
    EXPECT_EQ(mSMARTCall::GetDriveInfo(notADisk, 0), mSMARTDef::DriveInfo{});
    EXPECT_EQ(notADisk.lastError(), SmartDeviceError::NotNvmeController);
    // Nor is a slot whose path now names another drive than the one found.
    FakeSysfs fake;
    fake.controller("nvme0", "1:3\n");
    SystemSmartDevice other({{"sda", "/dev/null", SmartKind::AtaDisk}}, fake.sysfs);
    EXPECT_EQ(mSMARTCall::GetDriveInfo(other, 0), mSMARTDef::DriveInfo{});
    EXPECT_EQ(other.lastError(), SmartDeviceError::Replaced);
}
