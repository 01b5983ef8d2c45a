#include "engine/SignatureDatabase.h"
#include "engine/clsCRC.h"
#include "platform/FolderFiles.h"
#include "platform/Mounts.h"
#include "platform/PathText.h"
#include "platform/windows/WideText.h"
#include "scanner/QuarantineFolder.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/Explorer.h"
#include "tools/FileScan.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <windows.h>

using platform::windows::widen;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::vector<std::string> chainPaths(const std::vector<Explorer::ChainEntry>& chain) {
    std::vector<std::string> paths;
    for (const Explorer::ChainEntry& entry : chain) {
        paths.push_back(entry.path);
    }
    return paths;
}

void setAttributes(const std::string& path, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(widen(path).c_str(), attributes)) << path;
}

/// Gives the file at `path` the last-write time `seconds` after 1970.
void setModified(const std::string& path, std::int64_t seconds) {
    const HANDLE file = CreateFileW(widen(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    const auto ticks = static_cast<std::uint64_t>(seconds * 10'000'000 + 116444736000000000);
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

std::string rootOf(const std::string& path) {
    return path.substr(0, platform::pathRootLength(path));
}

} // namespace

TEST(WindowsExplorerPaths, TheFolderBoxRunsFromTheDriveOrShareAndPathsUseBackslashes) {
    const auto chain = Explorer::FolderChain("C:\\Users\\ann", {"b", "a"});
    EXPECT_EQ(chainPaths(chain),
              (std::vector<std::string>{"C:\\", "C:\\Users", "C:\\Users\\ann", "C:\\Users\\ann\\a",
                                        "C:\\Users\\ann\\b"}));
    EXPECT_EQ(chain[0].label, "C:\\");
    EXPECT_EQ(chain[2].label, "ann");
    EXPECT_EQ(chain[2].depth, 2);
    EXPECT_TRUE(chain[2].open);
    EXPECT_EQ(chain[3].depth, 3);
    EXPECT_FALSE(chain[3].open);

    EXPECT_EQ(chainPaths(Explorer::FolderChain("D:\\", {"x"})),
              (std::vector<std::string>{"D:\\", "D:\\x"}));
    EXPECT_EQ(chainPaths(Explorer::FolderChain("\\\\server\\share\\docs", {})),
              (std::vector<std::string>{"\\\\server\\share\\", "\\\\server\\share\\docs"}));

    EXPECT_EQ(Explorer::BasePath("C:\\data"), "C:\\data\\");
    EXPECT_EQ(Explorer::BasePath("C:\\"), "C:\\");
    const auto listing = Explorer::BuildListing("C:\\data", {{"a.txt", 5, 0, true}}, {});
    ASSERT_EQ(listing.rows.size(), 1U);
    EXPECT_EQ(listing.rows[0].path, "C:\\data\\a.txt");
    EXPECT_EQ(listing.rows[0].pathText, "C:\\data\\a.txt");
    EXPECT_EQ(Explorer::BuildListing("E:\\", {{"b", 1, 0, true}}, {}).rows[0].path, "E:\\b");
    EXPECT_EQ(Explorer::NotAccessibleListing("C:\\x", "Access is denied").sortText,
              " C:\\x\\ Is not accessible. Access is denied.");
}

TEST(WindowsExplorerPaths, DrivesHoldPathsIgnoringCaseAndNotReadyMeansNoMedium) {
    const std::vector<std::string> drives = {"C:\\", "D:\\", "Z:\\"};
    EXPECT_EQ(Explorer::DriveOf("c:\\users\\ann", drives), "C:\\");
    EXPECT_EQ(Explorer::DriveOf("Z:\\tmp", drives), "Z:\\");
    EXPECT_EQ(Explorer::DriveOf("D:\\", drives), "D:\\");
    // A drive or share not in the box: its own root, which selects nothing.
    EXPECT_EQ(Explorer::DriveOf("E:\\x", drives), "E:\\");
    EXPECT_EQ(Explorer::DriveOf("\\\\server\\share\\x", drives), "\\\\server\\share\\");

    EXPECT_EQ(Explorer::NotReadyText("E:\\"),
              "E:\\ Is not accessible.\r\n\r\nThe device is not ready");
    EXPECT_TRUE(Explorer::DeviceUnavailable(ERROR_NOT_READY));
    EXPECT_TRUE(Explorer::DeviceUnavailable(ERROR_BAD_NETPATH));
    EXPECT_FALSE(Explorer::DeviceUnavailable(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Explorer::DeviceUnavailable(ERROR_PATH_NOT_FOUND));
}

TEST(WindowsExplorerDrives, EveryDriveInUseIsListedAndSharesAreNeverAsked) {
    // The system's drives: Wine's C: and Z:, on Windows at least the drives of the temporary
    // folder and of the current folder.
    const std::vector<std::string> roots = Explorer::DriveRoots();
    const TempDir dir;
    wchar_t current[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, current), 0U);
    for (const std::string& expected :
         {rootOf(dir.path()), rootOf(platform::windows::narrow(current))}) {
        EXPECT_TRUE(std::any_of(roots.begin(), roots.end(), [&expected](const std::string& root) {
            return platform::samePath(root, expected);
        })) << expected;
    }
    for (const std::string& root : roots) {
        EXPECT_EQ(root.size(), 3U) << root;
        EXPECT_EQ(root.substr(1), ":\\") << root;
    }

    int filesystemsAsked = 0;
    platform::DriveSources sources;
    sources.letters = [] { return (1U << 2) | (1U << 3) | (1U << 13) | (1U << 16); };
    sources.kind = [](const std::string& root) {
        switch (root[0]) {
        case 'C':
            return platform::DriveKind::Fixed;
        case 'D':
            return platform::DriveKind::Optical;
        case 'N':
            return platform::DriveKind::Network;
        default:
            return platform::DriveKind::None;
        }
    };
    sources.fileSystem = [&filesystemsAsked](const std::string&) {
        ++filesystemsAsked;
        return std::string("NTFS");
    };
    const std::vector<platform::Drive> drives = platform::listBrowseRoots(sources);
    ASSERT_EQ(drives.size(), 3U);
    EXPECT_EQ(drives[0].mountPoint, "C:\\");
    EXPECT_TRUE(drives[0].queryable);
    EXPECT_FALSE(drives[0].removable);
    EXPECT_EQ(drives[1].mountPoint, "D:\\");
    EXPECT_TRUE(drives[1].removable);
    EXPECT_EQ(drives[2].mountPoint, "N:\\");
    EXPECT_EQ(drives[2].source, "network drive");
    EXPECT_FALSE(drives[2].queryable);
    EXPECT_EQ(filesystemsAsked, 0);
}

TEST(WindowsExplorerFolders, ListsFilesWithTheirAttributesAndSubfoldersInByteOrder) {
    const TempDir dir;
    writeFile(dir.file("b.txt"), "bbb");
    writeFile(dir.file("a.TXT"), "a");
    writeFile(dir.file("sys.dat"), "system");
    writeFile(dir.file("Zed"), "");
    writeFile(dir.file("sub/inner.txt"), "not listed here");
    std::filesystem::create_directories(dir.file("Alpha"));
    setAttributes(dir.file("a.TXT"), FILE_ATTRIBUTE_HIDDEN);
    setAttributes(dir.file("sys.dat"), FILE_ATTRIBUTE_SYSTEM);
    setModified(dir.file("b.txt"), 981173106); // 2001-02-03 04:05:06 UTC

    std::vector<platform::BrowseEntry> files(1);
    ASSERT_FALSE(platform::listBrowseFiles(dir.path(), files));
    std::vector<std::string> names;
    for (const platform::BrowseEntry& file : files) {
        names.push_back(file.name);
        EXPECT_FALSE(file.link);
        EXPECT_TRUE(file.hasTime);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Zed", "a.TXT", "b.txt", "sys.dat"}));
    EXPECT_TRUE(files[1].hidden);
    EXPECT_FALSE(files[1].system);
    EXPECT_EQ(files[2].size, 3U);
    EXPECT_EQ(files[2].modified, 981173106);
    EXPECT_FALSE(files[2].hidden);
    EXPECT_TRUE(files[3].system);
    const std::time_t now = std::time(nullptr);
    EXPECT_LE(std::abs(static_cast<long long>(files[0].modified - now)), 24 * 3600);

    // The filter that hides hidden and system files leaves two rows.
    const Explorer::Listing listing =
        Explorer::BuildListing(dir.path(), files, Explorer::FilterAt(2));
    ASSERT_EQ(listing.rows.size(), 2U);
    EXPECT_EQ(listing.rows[1].path, dir.file("b.txt"));
    EXPECT_EQ(listing.countText, " 2 item(s) in directory.");

    std::vector<std::string> subfolders{"stale"};
    ASSERT_FALSE(platform::listSubfolders(dir.path(), subfolders));
    EXPECT_EQ(subfolders, (std::vector<std::string>{"Alpha", "sub"}));
    EXPECT_FALSE(platform::probeFolder(dir.file("sub")));
}

TEST(WindowsExplorerFolders, FoldersThatCannotBeReadFailAndLeaveNothingListed) {
    const TempDir dir;
    writeFile(dir.file("file.txt"), "x");
    std::vector<platform::BrowseEntry> files(2);
    EXPECT_TRUE(platform::listBrowseFiles(dir.file("missing"), files));
    EXPECT_TRUE(files.empty());
    std::vector<std::string> subfolders{"stale"};
    EXPECT_TRUE(platform::listSubfolders(dir.file("file.txt"), subfolders));
    EXPECT_TRUE(subfolders.empty());
    const std::error_code missing = platform::probeFolder(dir.file("missing"));
    ASSERT_TRUE(missing);
    EXPECT_FALSE(Explorer::DeviceUnavailable(missing.value()));
    EXPECT_EQ(platform::probeFolder(dir.file("file.txt")), std::errc::not_a_directory);
}

TEST(WindowsFileScan, ChecksOneFileByItsWindowsPathAndLeavesTheQuarantineAlone) {
    EXPECT_TRUE(platform::samePath(DefaultQuarantineFolder(), "C:\\Karantina"));

    TempDir dir;
    const std::string listed = "listed content for the scan";
    const std::string checksum = ChecksumText(clsCRC().CalculateBytes(listed));
    writeFile(dir.file("db.dll"),
              testsupport::databaseText({checksum + ":Db.Threat", "Selesai:Selesai"}));
    const SignatureDatabase database(dir.file("db.dll"));
    writeFile(dir.file("files/bad.txt"), listed);
    writeFile(dir.file("files/good.txt"), "something else");
    writeFile(dir.file("KARANTINA/held.txt"), listed);
    const std::string quarantine = dir.file("Karantina");

    const FileScan::Report bad =
        FileScan::ScanFile(dir.file("files/bad.txt"), database, quarantine);
    EXPECT_EQ(FileScan::ResultText(bad), "Listed: Db.Threat");
    EXPECT_EQ(bad.checksum, checksum);
    // Windows takes "/" too.
    EXPECT_EQ(FileScan::ScanFile(dir.path() + "/files/bad.txt", database, quarantine).threat,
              "Db.Threat");
    EXPECT_EQ(
        FileScan::ResultText(FileScan::ScanFile(dir.file("files/good.txt"), database, quarantine)),
        "Not listed");
    // Quarantined files are not reported again, nor called clean; the folder's name is compared
    // ignoring case.
    EXPECT_EQ(FileScan::ResultText(
                  FileScan::ScanFile(dir.file("KARANTINA/held.txt"), database, quarantine)),
              "Not checked: it is in the quarantine folder");
    // A missing file or a folder is never reported as clean.
    EXPECT_EQ(
        FileScan::ResultText(FileScan::ScanFile(dir.file("files/gone.txt"), database, quarantine))
            .rfind("Not checked: ", 0),
        0U);
    EXPECT_EQ(FileScan::ResultText(FileScan::ScanFile(dir.file("files"), database, quarantine))
                  .rfind("Not checked: ", 0),
              0U);
    EXPECT_EQ(FileScan::ScanFile(dir.file("files\\"), database, quarantine).problem,
              "not a file path");
}
