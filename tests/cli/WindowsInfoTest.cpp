// `kesto info` in kesto.exe: the system's own figures, and the drive letters with given answers.
#include "cli/Commands.h"
#include "platform/windows/MemoryFigures.h"
#include "testsupport/CommandRun.h"

#include <gtest/gtest.h>
#include <map>
#include <regex>

using testsupport::CommandRun;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

/// The number after `caption` and its ": " up to " MB"; -1 when the line is not there.
long long megabytesAfter(const std::string& text, const std::string& caption) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(caption + " *: ([0-9]+) MB\n"))) {
        return -1;
    }
    return std::stoll(match[1]);
}

MEMORYSTATUSEX figures(std::uint64_t totalPhysical, std::uint64_t availablePhysical,
                       std::uint64_t commitLimit, std::uint64_t availableCommit) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    status.ullTotalPhys = totalPhysical;
    status.ullAvailPhys = availablePhysical;
    status.ullTotalPageFile = commitLimit;
    status.ullAvailPageFile = availableCommit;
    status.ullTotalVirtual = 128 * 1024 * 1024 * kMiB;
    status.ullAvailVirtual = 128 * 1024 * 1024 * kMiB - 40 * kMiB;
    return status;
}

} // namespace

TEST(WindowsInfo, ShowsThisMachinesFoldersMemoryAndDriveC) {
    const CommandRun run = testsupport::runCommand(runKesto, std::vector<std::string>{"info"});
    ASSERT_EQ(run.code, kExitClean) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    const std::string& text = run.out;
    EXPECT_TRUE(std::regex_search(text, std::regex("\n  Username {10}: [^\n]+\n")));
    EXPECT_TRUE(std::regex_search(text, std::regex("\n  Windows Directory : [A-Z]:\\\\.*\\\\\n")));
    EXPECT_TRUE(std::regex_search(text, std::regex("\n  System Directory  : [A-Z]:\\\\.*\\\\\n")));
    for (const char* caption : {"Total Physical Memory \\(RAM\\)", "Residual RAM",
                                "Total Virtual Memory", "Residual Virtual Memory"}) {
        EXPECT_GT(megabytesAfter(text, caption), 0) << caption << "\n" << text;
    }
    const std::size_t drives = text.find("\nDrives\n");
    ASSERT_NE(drives, std::string::npos);
    std::smatch c;
    ASSERT_TRUE(std::regex_search(text.cbegin() + static_cast<std::ptrdiff_t>(drives), text.cend(),
                                  c, std::regex("\nC:\\\\\n-> Drive Size : ([0-9]+) MB\n")))
        << text;
    EXPECT_GT(std::stoll(c[1]), 0);
    EXPECT_NE(text.find("\nC:\\ - fixed drive, "), std::string::npos) << text;
}

TEST(WindowsInfo, DriveLettersInOrderWithoutSharesAndSilentDrivesAsZeros) {
    // A: an empty card reader, C: and D: disks, E: a share, F: gone since the letters were read,
    // G: a disc drive; H: is not in use.
    const std::map<std::string, platform::DriveKind> kinds = {
        {"A:\\", platform::DriveKind::Removable}, {"C:\\", platform::DriveKind::Fixed},
        {"D:\\", platform::DriveKind::Fixed},     {"E:\\", platform::DriveKind::Network},
        {"F:\\", platform::DriveKind::None},      {"G:\\", platform::DriveKind::Optical},
        {"H:\\", platform::DriveKind::Fixed}};
    std::vector<std::string> kindAsked;
    platform::DriveSources sources;
    sources.letters = [] { return 0b1111101U; };
    sources.kind = [&](const std::string& root) {
        kindAsked.push_back(root);
        return kinds.at(root);
    };
    sources.fileSystem = [](const std::string& root) {
        return root == "A:\\" ? std::string() : root == "G:\\" ? "CDFS" : "NTFS";
    };
    std::vector<std::string> spaceAsked;
    const auto query = [&](const std::string& root) -> std::optional<platform::Space> {
        spaceAsked.push_back(root);
        if (root == "C:\\") {
            // Beyond 4 GiB, which 32-bit cluster arithmetic would wrap.
            return platform::Space{300000 * kMiB, 100000 * kMiB, 100000 * kMiB};
        }
        if (root == "D:\\") {
            return platform::Space{1024 * kMiB, 256 * kMiB, 256 * kMiB};
        }
        return std::nullopt;
    };
    const CommandRun run =
        testsupport::runCommand(runInfoWith, CommandLine{}, sources, SystemInfo::SpaceQuery(query));
    ASSERT_EQ(run.code, kExitClean) << run.err;
    EXPECT_EQ(kindAsked,
              (std::vector<std::string>{"A:\\", "C:\\", "D:\\", "E:\\", "F:\\", "G:\\"}));
    // The share is never asked for its space.
    EXPECT_EQ(spaceAsked, (std::vector<std::string>{"A:\\", "C:\\", "D:\\", "G:\\"}));
    const std::string zeros =
        "-> Drive Size : 0 MB\n-> Space Used : 0 MB\n-> Free Space : 0 MB\n\n";
    EXPECT_EQ(run.out.substr(run.out.find("\nDrives\n")),
              "\nDrives\n"
              "A:\\\n" +
                  zeros +
                  "C:\\\n-> Drive Size : 300000 MB\n-> Space Used : 200000 MB\n"
                  "-> Free Space : 100000 MB\n\n"
                  "D:\\\n-> Drive Size : 1024 MB\n-> Space Used : 768 MB\n"
                  "-> Free Space : 256 MB\n\n"
                  "G:\\\n" +
                  zeros +
                  "A:\\ - removable drive, unknown, space unknown, removable\n"
                  "C:\\ - fixed drive, NTFS, 67% used\n"
                  "D:\\ - fixed drive, NTFS, 75% used\n"
                  "G:\\ - optical drive, CDFS, space unknown, removable\n");
}

TEST(WindowsInfo, PageFileIsTheCommitLimitBeyondPhysicalMemory) {
    // 16 GiB of memory, 6 GiB available; a 4 GiB page file of which 2 GiB is free.
    auto status = platform::windows::memoryStatusOf(
        figures(16384 * kMiB, 6144 * kMiB, 20480 * kMiB, 8192 * kMiB));
    EXPECT_EQ(SystemInfo::MemoryValues(status),
              (std::array<std::string, 6>{"16384 MB", "10240 MB", "6144 MB", "134217728 MB",
                                          "40 MB", "134217688 MB"}));
    EXPECT_EQ(SystemInfo::SwapText(status), "Swap in use: 2048 MB of 4096 MB");

    // No page file: the commit limit stays below the physical memory.
    status = platform::windows::memoryStatusOf(
        figures(16384 * kMiB, 6144 * kMiB, 16000 * kMiB, 9000 * kMiB));
    EXPECT_EQ(status.swapTotal, 0U);
    EXPECT_EQ(status.swapFree, 0U);
    EXPECT_EQ(SystemInfo::SwapText(status), "No swap space");

    // Free page file never exceeds the page file; nothing available means all of it in use.
    status = platform::windows::memoryStatusOf(
        figures(16384 * kMiB, 1024 * kMiB, 18432 * kMiB, 18000 * kMiB));
    EXPECT_EQ(status.swapFree, status.swapTotal);
    status = platform::windows::memoryStatusOf(figures(16384 * kMiB, 1024 * kMiB, 18432 * kMiB, 0));
    EXPECT_EQ(SystemInfo::SwapText(status), "Swap in use: 2048 MB of 2048 MB");
}
