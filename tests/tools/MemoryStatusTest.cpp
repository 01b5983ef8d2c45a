#include "platform/SystemFacts.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/SystemInfo.h"

#include <gtest/gtest.h>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

/// Memory figures read from fake proc files in `dir`, with the address-space limit given.
platform::MemoryStatus statusFrom(const TempDir& dir, const std::string& meminfo,
                                  const std::string& status,
                                  std::optional<std::uint64_t> limit = std::nullopt) {
    writeFile(dir.file("meminfo"), meminfo);
    writeFile(dir.file("status"), status);
    platform::MemorySources sources;
    sources.meminfo = dir.file("meminfo");
    sources.status = dir.file("status");
    sources.addressSpaceLimit = [limit] { return limit; };
    return platform::memoryStatus(sources);
}

} // namespace

TEST(MemoryStatus, RowsFromProcFilesShowRoundedMegabytes) {
    TempDir dir;
    const auto status = statusFrom(dir,
                                   "MemTotal:         524288 kB\n"
                                   "MemFree:           10000 kB\n"
                                   "MemAvailable:     204800 kB\n"
                                   "SwapTotal:       1048576 kB\n"
                                   "SwapFree:         786432 kB\n",
                                   "Name:\tkesto\nVmPeak:\t  99999 kB\nVmSize:\t  102400 kB\n",
                                   std::uint64_t{1024} * kMiB);
    EXPECT_EQ(
        SystemInfo::MemoryValues(status),
        (std::array<std::string, 6>{"512 MB", "312 MB", "200 MB", "1024 MB", "100 MB", "924 MB"}));
    EXPECT_EQ(SystemInfo::SwapText(status), "Swap in use: 256 MB of 1024 MB");
}

TEST(MemoryStatus, UnlimitedAddressSpaceIsTheArchitecturesAndOldKernelsSumFreeMemory) {
    TempDir dir;
    const auto status = statusFrom(dir,
                                   "MemTotal: 2097152 kB\nMemFree: 102400 kB\n"
                                   "Buffers: 51200 kB\nCached: 51200 kB\n",
                                   "VmSize: 2048 kB\n");
    EXPECT_EQ(status.availablePhysical, 200 * kMiB);
    EXPECT_EQ(status.totalVirtual, platform::userAddressSpace());
    EXPECT_EQ(status.availableVirtual, platform::userAddressSpace() - 2 * kMiB);
#if defined(__x86_64__)
    EXPECT_EQ(SystemInfo::MemoryValues(status)[3], "134217728 MB");
#endif
    EXPECT_EQ(SystemInfo::SwapText(status), "No swap space");
}

TEST(MemoryStatus, HostileProcTextReadsMissingFiguresAsZero) {
    TempDir dir;
    const std::string longLine(200000, 'x');
    const auto status = statusFrom(dir,
                                   longLine +
                                       "\nMemTotal 1000 kB\n" // no colon
                                       "MemTotalX: 5 kB\n"    // another key
                                       "MemAvailable: 12 parsecs\n"
                                       "SwapTotal: 99999999999999999999999 kB\n"
                                       "SwapFree: -5 kB\n" +
                                       longLine + "\nMemFree: 4 kB",
                                   std::string("\0\0VmSize:\n", 10));
    EXPECT_EQ(status.totalPhysical, 0U);
    // An odd unit counts as missing, so the free figures stand in for the available one.
    EXPECT_EQ(status.availablePhysical, 4096U);
    EXPECT_EQ(status.swapTotal, 0U);
    EXPECT_EQ(status.swapFree, 0U);
    EXPECT_EQ(status.availableVirtual, status.totalVirtual);
    EXPECT_EQ(SystemInfo::MemoryValues(status)[1], "0 MB");

    platform::MemorySources missing;
    missing.meminfo = dir.file("absent");
    missing.status = dir.file("absent");
    missing.addressSpaceLimit = [] { return std::optional<std::uint64_t>(kMiB); };
    const auto none = platform::memoryStatus(missing);
    EXPECT_EQ(none.totalPhysical, 0U);
    EXPECT_EQ(none.availableVirtual, kMiB);
}

TEST(MemoryStatus, FieldUnitsAndOverflow) {
    EXPECT_EQ(platform::procFieldBytes("A: 7\n", "A"), 7U);
    EXPECT_EQ(platform::procFieldBytes("A:\t3 kB\r\n", "A"), 3072U);
    EXPECT_EQ(platform::procFieldBytes("A: 2 mB", "A"), 2 * kMiB);
    EXPECT_EQ(platform::procFieldBytes("A: 18014398509481984 kB", "A"), std::nullopt);
    EXPECT_EQ(platform::procFieldBytes("AB: 1\nA: 2", "A"), 2U);
    EXPECT_EQ(platform::procFieldBytes("A: kB", "A"), std::nullopt);
}

TEST(SystemRows, FoldersEndWithTheSeparator) {
    const auto rows =
        SystemInfo::SystemRows("alice", platform::windowsFolder(), platform::systemFolder());
    EXPECT_EQ(rows[0].caption, "Username");
    EXPECT_EQ(rows[0].value, "alice");
    EXPECT_EQ(rows[1].caption, "Windows Directory");
    EXPECT_EQ(rows[1].value, "/usr/");
    EXPECT_EQ(rows[2].caption, "System Directory");
    EXPECT_EQ(rows[2].value, "/usr/bin/");
}
