// The texts of `kesto info` and of the information windows from given figures: the same on every
// system, which only supplies the figures.
#include "platform/ProgramFolder.h"
#include "tools/SystemInfo.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

/// `text` with each "|" replaced by this system's path separator.
std::string native(std::string text) {
    std::replace(text.begin(), text.end(), '|', platform::kPathSeparator);
    return text;
}

} // namespace

TEST(MemoryStatus, UsedNeverBelowZeroWhenAvailableExceedsTotal) {
    platform::MemoryStatus status;
    status.totalPhysical = 100 * kMiB;
    status.availablePhysical = 300 * kMiB;
    EXPECT_EQ(SystemInfo::MemoryValues(status)[1], "0 MB");
}

TEST(MemoryStatus, MegabytesRoundToNearestTiesToEven) {
    EXPECT_EQ(SystemInfo::Megabytes(0), 0U);
    EXPECT_EQ(SystemInfo::Megabytes(kMiB / 2 - 1), 0U);
    EXPECT_EQ(SystemInfo::Megabytes(kMiB / 2), 0U);
    EXPECT_EQ(SystemInfo::Megabytes(kMiB / 2 + 1), 1U);
    EXPECT_EQ(SystemInfo::Megabytes(kMiB + kMiB / 2), 2U);
    EXPECT_EQ(SystemInfo::Megabytes(UINT64_MAX), std::uint64_t{1} << 44);
}

TEST(DriveReport, OneGibibyteWithAQuarterFree) {
    const platform::Space space{1024 * kMiB, 256 * kMiB, 256 * kMiB};
    EXPECT_EQ(SystemInfo::DriveSpaceText("/media/usb/", space),
              "/media/usb/\r\n-> Drive Size : 1024 MB\r\n-> Space Used : 768 MB\r\n"
              "-> Free Space : 256 MB\r\n");
    EXPECT_EQ(SystemInfo::DriveSpaceText("/", std::nullopt),
              "/\r\n-> Drive Size : 0 MB\r\n-> Space Used : 0 MB\r\n-> Free Space : 0 MB\r\n");
}

TEST(DriveReport, BlocksReservedForTheAdministratorAreNeitherUsedNorFree) {
    // statvfs of a 258,020 MB disk: 18,856 MB in use, 239,164 MB free blocks of which 79,131 MB
    // an ordinary user may write; df shows Used 18856 and Avail 79131.
    const platform::Space space{258020 * kMiB, 79131 * kMiB, 239164 * kMiB};
    EXPECT_EQ(SystemInfo::DriveSpaceText("/", space),
              "/\r\n-> Drive Size : 258020 MB\r\n-> Space Used : 18856 MB\r\n"
              "-> Free Space : 79131 MB\r\n");
    // Rounding each figure on its own never makes the used space negative.
    EXPECT_EQ(SystemInfo::DriveSpaceText("/", platform::Space{kMiB / 2, 0, kMiB}),
              "/\r\n-> Drive Size : 0 MB\r\n-> Space Used : 0 MB\r\n-> Free Space : 0 MB\r\n");
}

TEST(MemoryStatus, SwapBelowHalfAMegabyteIsNone) {
    platform::MemoryStatus status;
    EXPECT_EQ(SystemInfo::SwapText(status), "No swap space");
    // A commit limit a few pages above the physical memory leaves such a sliver of page file.
    status.swapTotal = kMiB / 2;
    EXPECT_EQ(SystemInfo::SwapText(status), "No swap space");
    status.swapTotal = kMiB / 2 + 1;
    status.swapFree = 2 * kMiB;
    EXPECT_EQ(SystemInfo::SwapText(status), "Swap in use: 0 MB of 1 MB");
}

TEST(SystemInfoReport, WholeTerminalReportFromGivenFigures) {
    platform::MemoryStatus memory;
    memory.totalPhysical = 512 * kMiB;
    memory.availablePhysical = 200 * kMiB;
    memory.totalVirtual = 1024 * kMiB;
    memory.availableVirtual = 924 * kMiB;
    memory.swapTotal = 1024 * kMiB;
    memory.swapFree = 768 * kMiB;
    std::vector<platform::Drive> drives(3);
    drives[0] = {"dev-a", native("one|"), "fsA"};
    drives[1] = {"dev-b", "two", "fsB"};
    drives[1].removable = true;
    drives[2] = {"dev-c", "three", "fsC"};
    drives[2].queryable = false;
    std::vector<std::string> asked;
    const auto report = SystemInfo::BuildDriveReport(drives, [&](const std::string& point) {
        asked.push_back(point);
        return point == native("one|") ? std::optional<platform::Space>(
                                             platform::Space{1024 * kMiB, 256 * kMiB, 512 * kMiB})
                                       : std::nullopt; // a card reader without a card
    });
    EXPECT_EQ(asked, (std::vector<std::string>{native("one|"), "two"}));

    const auto system = SystemInfo::SystemRows("alice", "W", native("W|S"));
    EXPECT_EQ(SystemInfo::TerminalReport(system, memory, report),
              native("System\n"
                     "  Username          : alice\n"
                     "  Windows Directory : W|\n"
                     "  System Directory  : W|S|\n"
                     "\nMemory\n"
                     "  Total Physical Memory (RAM) : 512 MB\n"
                     "  Physical Memory Used (RAM)  : 312 MB\n"
                     "  Residual RAM                : 200 MB\n"
                     "  Total Virtual Memory        : 1024 MB\n"
                     "  Virtual Memory Used         : 100 MB\n"
                     "  Residual Virtual Memory     : 924 MB\n"
                     "  Swap in use: 256 MB of 1024 MB\n"
                     "\nDrives\n"
                     "one|\n-> Drive Size : 1024 MB\n-> Space Used : 512 MB\n"
                     "-> Free Space : 256 MB\n\n"
                     "two|\n-> Drive Size : 0 MB\n-> Space Used : 0 MB\n-> Free Space : 0 MB\n\n"
                     "three|\n-> Drive Size : 0 MB\n-> Space Used : 0 MB\n"
                     "-> Free Space : 0 MB\n\n"
                     "one| - dev-a, fsA, 67% used\n"
                     "two| - dev-b, fsB, space unknown, removable\n"
                     "three| - dev-c, fsC, space not asked for (FUSE)\n"));
}
