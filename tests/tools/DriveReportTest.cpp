#include "platform/Mounts.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/SystemInfo.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

/// Drives of a fake mounts table whose block devices are the sources beginning with "/dev/sd".
std::vector<platform::Drive> drivesOf(const TempDir& dir, const std::string& table) {
    writeFile(dir.file("mounts"), table);
    platform::DriveSources sources;
    sources.mountsFile = dir.file("mounts");
    sources.sysClassBlock = dir.file("sys");
    sources.isBlockDevice = [](const std::string& source) { return source.starts_with("/dev/sd"); };
    return platform::listDrives(sources);
}

std::vector<std::string> mountPoints(const std::vector<platform::Drive>& drives) {
    std::vector<std::string> points;
    for (const auto& drive : drives) {
        points.push_back(drive.mountPoint);
    }
    return points;
}

} // namespace

TEST(DriveReport, BlockMountsInPathOrderWithFailuresAsZeros) {
    TempDir dir;
    const auto drives = drivesOf(dir, "proc /proc proc rw 0 0\n"
                                      "/dev/sdb1 /mnt/data ext4 rw 0 0\n"
                                      "server:/export /mnt/nfs nfs4 rw 0 0\n"
                                      "/dev/sda2 / ext4 rw 0 0\n"
                                      "/dev/sdc1 /media/my\\040stick vfat rw 0 0\n"
                                      "/dev/sdd1 /media/ntfs fuseblk rw 0 0\n");
    ASSERT_EQ(mountPoints(drives),
              (std::vector<std::string>{"/", "/media/my stick", "/media/ntfs", "/mnt/data"}));

    std::vector<std::string> asked;
    const auto report = SystemInfo::BuildDriveReport(drives, [&](const std::string& point) {
        asked.push_back(point);
        if (point == "/") {
            return std::optional<platform::Space>(
                platform::Space{1024 * kMiB, 256 * kMiB, 512 * kMiB});
        }
        return std::optional<platform::Space>(); // a card reader without a card
    });
    // The FUSE mount is never asked: its daemon might never answer.
    EXPECT_EQ(asked, (std::vector<std::string>{"/", "/media/my stick", "/mnt/data"}));
    EXPECT_EQ(report.text,
              "/\r\n-> Drive Size : 1024 MB\r\n-> Space Used : 512 MB\r\n-> Free Space : 256 MB\r\n"
              "\r\n"
              "/media/my stick/\r\n-> Drive Size : 0 MB\r\n-> Space Used : 0 MB\r\n"
              "-> Free Space : 0 MB\r\n\r\n"
              "/media/ntfs/\r\n-> Drive Size : 0 MB\r\n-> Space Used : 0 MB\r\n"
              "-> Free Space : 0 MB\r\n\r\n"
              "/mnt/data/\r\n-> Drive Size : 0 MB\r\n-> Space Used : 0 MB\r\n"
              "-> Free Space : 0 MB\r\n\r\n");
    // df's Use%: 512 MiB in use of the 768 MiB an ordinary user could have, rounded up.
    EXPECT_EQ(report.details, "/ - /dev/sda2, ext4, 67% used\n"
                              "/media/my stick/ - /dev/sdc1, vfat, space unknown\n"
                              "/media/ntfs/ - /dev/sdd1, fuseblk, space not asked for (FUSE)\n"
                              "/mnt/data/ - /dev/sdb1, ext4, space unknown");
}

TEST(DriveReport, LaterMountHidesTheOneBelowAndHostileLinesAreSkipped) {
    TempDir dir;
    const auto drives = drivesOf(dir, "/dev/sda1 /data ext4 rw 0 0\n"
                                      "/dev/sda2 /data xfs rw 0 0\n"
                                      "/dev/sdb1 /tmp ext4 rw 0 0\n"
                                      "tmpfs /tmp tmpfs rw 0 0\n"
                                      "/dev/sdx1\n" +
                                          std::string(2 << 20, 'y') +
                                          "\n/dev/sdy1 /odd\\\\x\\9999\\ sshfs\n"
                                          "/dev/sdz1 /a\\134b\\011c\\012d ext2 rw 0 0");
    ASSERT_EQ(mountPoints(drives), (std::vector<std::string>{"/a\\b\tc\nd", "/data"}));
    EXPECT_EQ(drives[1].type, "xfs");

    EXPECT_TRUE(drivesOf(dir, "").empty());
    platform::DriveSources absent;
    absent.mountsFile = dir.file("no-such-file");
    EXPECT_TRUE(platform::listDrives(absent).empty());
}

TEST(DriveReport, EscapesOnlyForThreeOctalDigits) {
    EXPECT_EQ(platform::unescapeMountField("a\\040b"), "a b");
    EXPECT_EQ(platform::unescapeMountField("a\\04"), "a\\04");
    EXPECT_EQ(platform::unescapeMountField("\\400\\x"), "\\400\\x");
    EXPECT_EQ(platform::unescapeMountField("\\377"), "\xff");
    const auto entries = platform::parseMounts("  dev\t/p  t\n\nonly two\n");
    ASSERT_EQ(entries.size(), 1U);
    EXPECT_EQ(entries[0].mountPoint, "/p");
}

TEST(DriveReport, RemovableFromTheDiskOrThePartitionsDisk) {
    TempDir dir;
    const std::string sys = dir.file("sys");
    std::filesystem::create_directories(sys + "/sdb/sdb1");
    writeFile(sys + "/sdb/removable", "1\n");
    std::filesystem::create_directories(sys + "/vda");
    writeFile(sys + "/vda/removable", "0\n");
    EXPECT_TRUE(platform::isRemovable(sys, "sdb"));
    EXPECT_TRUE(platform::isRemovable(sys, "sdb/sdb1") == false); // names never hold a separator
    std::filesystem::create_directory_symlink(sys + "/sdb/sdb1", sys + "/sdb1");
    EXPECT_TRUE(platform::isRemovable(sys, "sdb1"));
    EXPECT_FALSE(platform::isRemovable(sys, "vda"));
    EXPECT_FALSE(platform::isRemovable(sys, "missing"));
    EXPECT_FALSE(platform::isRemovable(sys, ".."));
}

TEST(DriveReport, SpaceOfATemporaryFolderIsPlausible) {
    TempDir dir;
    const auto space = platform::querySpace(dir.path());
    ASSERT_TRUE(space.has_value());
    EXPECT_LE(space->available, space->free);
    EXPECT_LE(space->free, space->total);
    EXPECT_FALSE(platform::querySpace(dir.file("no-such-folder")).has_value());
}

TEST(DriveReport, NetworkAndFuseTypes) {
    for (const char* type : {"nfs", "nfs4", "cifs", "smb3", "sshfs", "9p"}) {
        EXPECT_TRUE(platform::isNetworkFileSystem(type)) << type;
    }
    for (const char* type : {"fuse", "fuseblk", "fuse.sshfs"}) {
        EXPECT_TRUE(platform::isFuseFileSystem(type)) << type;
    }
    EXPECT_FALSE(platform::isNetworkFileSystem("ext4"));
    EXPECT_FALSE(platform::isFuseFileSystem("fusefake"));
}

TEST(DriveReport, TerminalTextHasLineFeedsOnly) {
    platform::MemoryStatus memory;
    memory.totalPhysical = 512 * kMiB;
    memory.availablePhysical = 200 * kMiB;
    SystemInfo::DriveReport drives;
    drives.text = SystemInfo::DriveSpaceText("/", platform::Space{kMiB, 0, 0}) + "\r\n";
    drives.details = "/ - /dev/sda1, ext4, 100% used";
    const std::string text = SystemInfo::TerminalReport(
        SystemInfo::SystemRows("bob", "/usr", "/usr/bin"), memory, drives);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    for (const char* line : {"  Username          : bob\n", "  System Directory  : /usr/bin/\n",
                             "  Physical Memory Used (RAM)  : 312 MB\n",
                             "\nDrives\n/\n-> Drive Size : 1 MB\n-> Space Used : 1 MB\n",
                             "-> Free Space : 0 MB\n\n/ - /dev/sda1, ext4, 100% used\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}
