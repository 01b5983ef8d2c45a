#include "tools/Explorer.h"

#include "engine/SignatureDatabase.h"
#include "platform/FolderFiles.h"
#include "platform/ScopedSeam.h"
#include "platform/linux/DirectoryRead.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/FileScan.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using Explorer::SizeUse;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

platform::BrowseEntry entry(std::string name, std::uint64_t size, bool hidden = false,
                            bool system = false) {
    platform::BrowseEntry file;
    file.name = std::move(name);
    file.size = size;
    file.hasTime = true;
    file.modified = 0;
    file.hidden = hidden;
    file.system = system;
    return file;
}

std::vector<std::string> names(const std::vector<platform::BrowseEntry>& files) {
    std::vector<std::string> result;
    for (const platform::BrowseEntry& file : files) {
        result.push_back(file.name);
    }
    return result;
}

/// Hands the folder listings a folder's entries in a chosen order instead of the file system's:
/// the entries named in `last` come after all others, in that order. `invented` entries, named
/// with a kind but not on disk (a file removed after it was read), come at the very end. With
/// `errnoOnSuccess`, every entry read sets errno, as a read that succeeds may.
class EntryOrder {
public:
    explicit EntryOrder(std::vector<std::string> last,
                        std::vector<std::pair<std::string, unsigned char>> invented = {},
                        int errnoOnSuccess = 0)
        : m_last(std::move(last)), m_invented(std::move(invented)),
          m_errnoOnSuccess(errnoOnSuccess) {}

private:
    dirent* next(DIR* folder) {
        if (!m_read) {
            m_read = true;
            while (const dirent* entry = ::readdir(folder)) {
                m_entries.push_back(*entry);
            }
            const auto rank = [this](const dirent& entry) {
                const auto found = std::find(m_last.begin(), m_last.end(), entry.d_name);
                return found == m_last.end() ? -1 : found - m_last.begin();
            };
            std::stable_sort(
                m_entries.begin(), m_entries.end(),
                [&rank](const dirent& a, const dirent& b) { return rank(a) < rank(b); });
            for (const auto& [name, type] : m_invented) {
                dirent entry{};
                std::strncpy(entry.d_name, name.c_str(), sizeof entry.d_name - 1);
                entry.d_type = type;
                m_entries.push_back(entry);
            }
        }
        if (m_at == m_entries.size()) {
            return nullptr; // the end, with errno as the listing left it
        }
        if (m_errnoOnSuccess != 0) {
            errno = m_errnoOnSuccess;
        }
        return &m_entries[m_at++];
    }

    std::vector<std::string> m_last;
    std::vector<std::pair<std::string, unsigned char>> m_invented;
    int m_errnoOnSuccess;
    std::vector<dirent> m_entries;
    std::size_t m_at = 0;
    bool m_read = false;
    const platform::ScopedSeam<platform::DirectoryRead> m_seam{
        platform::setDirectoryRead, [this](DIR* folder) { return next(folder); }};
};

std::vector<std::string> paths(const Explorer::Listing& listing) {
    std::vector<std::string> result;
    for (const Explorer::FileRow& row : listing.rows) {
        result.push_back(row.path);
    }
    return result;
}

} // namespace

TEST(ExplorerSizeText, SwitchesUnitsAtTheBoundariesAndDropsZeros) {
    EXPECT_EQ(Explorer::SizeText(0, SizeUse::File), "0 Bytes");
    EXPECT_EQ(Explorer::SizeText(1003, SizeUse::File), "1003 Bytes");
    EXPECT_EQ(Explorer::SizeText(1004, SizeUse::File), ".98 KBytes");
    EXPECT_EQ(Explorer::SizeText(1536, SizeUse::File), "1.5 KBytes");
    EXPECT_EQ(Explorer::SizeText(2048, SizeUse::File), "2 KBytes");
    EXPECT_EQ(Explorer::SizeText(1027603, SizeUse::File), "1003.52 KBytes");
    EXPECT_EQ(Explorer::SizeText(1027604, SizeUse::File), ".98 MBytes");
    EXPECT_EQ(Explorer::SizeText(1048576, SizeUse::File), "1 MBytes");
    // 1152 bytes are exactly 1.125 KB: the half goes away from zero.
    EXPECT_EQ(Explorer::SizeText(1152, SizeUse::File), "1.13 KBytes");
    EXPECT_EQ(Explorer::SizeText(1027604, SizeUse::File, ','), ",98 MBytes");
    EXPECT_EQ(Explorer::SizeText(5ULL << 40, SizeUse::File), "5242880 MBytes");
}

TEST(ExplorerSizeText, TotalLineHasItsOwnPrefixAndSuffixes) {
    EXPECT_EQ(Explorer::SizeText(1003, SizeUse::Total), " 1003 Bytes in directory");
    EXPECT_EQ(Explorer::SizeText(1536, SizeUse::Total), " 1.5 KBytes in directory");
    EXPECT_EQ(Explorer::SizeText(3 * 1048576, SizeUse::Total), " 3 MBytes in directory");
}

TEST(ExplorerNames, ExtensionIsAfterTheLastDotAndOnlyAsciiLettersChangeCase) {
    EXPECT_EQ(Explorer::FileExt("a.TXT"), "TXT");
    EXPECT_EQ(Explorer::FileExt("archive.tar.Gz"), "Gz");
    EXPECT_EQ(Explorer::FileExt("a."), "");
    EXPECT_EQ(Explorer::FileExt("README"), "");
    EXPECT_EQ(Explorer::FileExt(".bashrc"), "bashrc");
    EXPECT_EQ(Explorer::CapsOff("Mp3-\xC3\x89Z"), "mp3-\xC3\x89z");
    EXPECT_EQ(Explorer::CapsOn("mp3-\xC3\xA9z"), "MP3-\xC3\xA9Z");
    EXPECT_EQ(Explorer::TypeText("b.TXT"), "txt File");
    EXPECT_EQ(Explorer::TypeText("Makefile"), "File");
    EXPECT_EQ(Explorer::TypeText("name."), "File");
}

TEST(ExplorerSummary, SortLineComparesEveryExtensionWithTheLast) {
    EXPECT_EQ(Explorer::SortText({"a.TXT", "b.txt"}), " All of ''TXT'' sort.");
    EXPECT_EQ(Explorer::SortText({"x.mp3", "y.mp3"}), " All of ''MP3'' sort.");
    EXPECT_EQ(Explorer::SortText({"a.txt", "b.doc"}), " Mulitple sort of files.");
    EXPECT_EQ(Explorer::SortText({"a.doc", "b.txt", "c.txt"}), " Mulitple sort of files.");
    EXPECT_EQ(Explorer::SortText({"one", "two"}), " All of '''' sort.");
    EXPECT_EQ(Explorer::SortText({}), " No files were found.");
    EXPECT_EQ(Explorer::CountText(12), " 12 item(s) in directory.");
}

TEST(ExplorerListing, RowsLinesAndFilter) {
    const std::vector<platform::BrowseEntry> files = {
        entry(".profile", 10, true), entry("a.TXT", 1000), entry("boot.ini", 4, false, true),
        entry("z.txt", 24, true, true)};
    const auto all = Explorer::BuildListing("/", files, Explorer::FilterAt(0));
    EXPECT_EQ(paths(all), (std::vector<std::string>{"/.profile", "/a.TXT", "/boot.ini", "/z.txt"}));
    EXPECT_EQ(all.rows[1].sizeText, "1000 Bytes");
    EXPECT_EQ(all.rows[1].typeText, "txt File");
    EXPECT_EQ(all.countText, " 4 item(s) in directory.");
    EXPECT_EQ(all.sortText, " Mulitple sort of files.");
    EXPECT_EQ(all.totalText, " 1.01 KBytes in directory");

    const auto visible = Explorer::BuildListing("/mnt/stick", files, Explorer::FilterAt(1));
    EXPECT_EQ(paths(visible),
              (std::vector<std::string>{"/mnt/stick/a.TXT", "/mnt/stick/boot.ini"}));
    EXPECT_EQ(Explorer::TotalText(files, Explorer::FilterAt(1)), " .98 KBytes in directory");

    const auto plain = Explorer::BuildListing("/mnt/stick/", files, Explorer::FilterAt(2));
    EXPECT_EQ(paths(plain), (std::vector<std::string>{"/mnt/stick/a.TXT"}));
    EXPECT_EQ(plain.sortText, " All of ''TXT'' sort.");

    const auto none = Explorer::BuildListing("/e", {entry(".x", 5, true)}, Explorer::FilterAt(1));
    EXPECT_TRUE(none.rows.empty());
    EXPECT_EQ(none.countText, " 0 item(s) in directory.");
    EXPECT_EQ(none.sortText, " No files were found.");
    EXPECT_EQ(none.totalText, " 0 Bytes in directory.");
    EXPECT_EQ(Explorer::TotalText({}, Explorer::FilterAt(0)), " 0 Bytes in directory");
}

TEST(ExplorerListing, VanishedFileShowsZeroBytesAndNoTime) {
    platform::BrowseEntry gone;
    gone.name = "gone.log";
    const auto listing = Explorer::BuildListing("/tmp", {gone}, Explorer::FilterAt(0));
    ASSERT_EQ(listing.rows.size(), 1U);
    EXPECT_EQ(listing.rows[0].sizeText, "0 Bytes");
    EXPECT_EQ(listing.rows[0].timeText, "");
}

TEST(ExplorerListing, GeneralDateLeavesOutMidnight) {
    // The C locale and universal time, so the texts do not depend on the machine.
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    EXPECT_EQ(Explorer::GeneralDateText(0), "01/01/70");
    EXPECT_EQ(Explorer::GeneralDateText(86400 + 3661), "01/02/70 01:01:01");
    platform::BrowseEntry file = entry("a.txt", 1);
    file.modified = 59;
    EXPECT_EQ(Explorer::BuildListing("/", {file}, Explorer::FilterAt(0)).rows[0].timeText,
              "01/01/70 00:00:59");
}

TEST(ExplorerFolders, ChainFromTheRootThenSortedSubfolders) {
    const auto chain = Explorer::FolderChain("/home/ann", {"b", "B", "a"});
    ASSERT_EQ(chain.size(), 6U);
    EXPECT_EQ(chain[0].path, "/");
    EXPECT_EQ(chain[1].path, "/home");
    EXPECT_EQ(chain[2].path, "/home/ann");
    EXPECT_EQ(chain[2].depth, 2);
    EXPECT_TRUE(chain[2].open);
    EXPECT_EQ(chain[3].path, "/home/ann/B");
    EXPECT_EQ(chain[4].label, "a");
    EXPECT_EQ(chain[5].depth, 3);
    EXPECT_FALSE(chain[5].open);

    const auto root = Explorer::FolderChain("/", {"usr"});
    ASSERT_EQ(root.size(), 2U);
    EXPECT_EQ(root[1].path, "/usr");
    EXPECT_EQ(root[1].depth, 1);
}

TEST(ExplorerDrives, FolderBelongsToTheLongestWholeNameMountPoint) {
    const std::vector<std::string> mounts = {"/", "/media/usb", "/media/usb2"};
    EXPECT_EQ(Explorer::DriveOf("/media/usb2/docs", mounts), "/media/usb2");
    EXPECT_EQ(Explorer::DriveOf("/media/usb", mounts), "/media/usb");
    EXPECT_EQ(Explorer::DriveOf("/media/usbx", mounts), "/");
    EXPECT_EQ(Explorer::NotReadyText("/media/usb"),
              "/media/usb/ Is not accessible.\r\n\r\nThe device is not ready");
    EXPECT_EQ(Explorer::NotReadyText("/"), "/ Is not accessible.\r\n\r\nThe device is not ready");
    EXPECT_TRUE(Explorer::DeviceUnavailable(ENOMEDIUM));
    EXPECT_FALSE(Explorer::DeviceUnavailable(EACCES));
}

TEST(ExplorerPlatform, ListsRegularFilesAndLinksAsLinksInByteOrder) {
    TempDir dir;
    writeFile(dir.file("b.txt"), "12345");
    writeFile(dir.file("A.doc"), "1");
    writeFile(dir.file(".hidden"), "");
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_symlink(dir.file("b.txt"), dir.file("link"));
    std::filesystem::create_symlink(dir.file("missing"), dir.file("dangling"));
    std::filesystem::create_symlink(dir.file("sub"), dir.file("folderlink"));
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);

    std::vector<platform::BrowseEntry> files;
    ASSERT_FALSE(platform::listBrowseFiles(dir.path(), files));
    // Every link is listed as a link, wherever it leads, with its own size: the length of the
    // name it holds. Folders and FIFOs are left out.
    EXPECT_EQ(names(files), (std::vector<std::string>{".hidden", "A.doc", "b.txt", "dangling",
                                                      "folderlink", "link"}));
    EXPECT_TRUE(files[0].hidden);
    EXPECT_FALSE(files[1].hidden);
    EXPECT_FALSE(files[1].system);
    EXPECT_FALSE(files[2].link);
    EXPECT_EQ(files[2].size, 5U);
    for (std::size_t i : {3U, 4U, 5U}) {
        EXPECT_TRUE(files[i].link) << files[i].name;
        EXPECT_TRUE(files[i].hasTime) << files[i].name;
    }
    EXPECT_EQ(files[3].size, dir.file("missing").size());
    EXPECT_EQ(files[5].size, dir.file("b.txt").size());

    std::vector<std::string> subfolders;
    ASSERT_FALSE(platform::listSubfolders(dir.path(), subfolders));
    EXPECT_EQ(subfolders, (std::vector<std::string>{"sub"}));

    EXPECT_TRUE(platform::listBrowseFiles(dir.file("missing"), files));
    EXPECT_TRUE(files.empty());
    EXPECT_TRUE(platform::probeFolder(dir.file("b.txt")));
}

TEST(ExplorerPlatform, AnEntryThatCannotBeLookedAtLastIsNotTakenForAFailedRead) {
    TempDir dir;
    writeFile(dir.file("a.txt"), "1");
    writeFile(dir.file("b.txt"), "22");
    std::filesystem::create_symlink(dir.file("missing"), dir.file("dangling"));
    std::vector<platform::BrowseEntry> files;
    {
        // A dangling link read last: the folder still lists its files.
        const EntryOrder order({"dangling"});
        ASSERT_FALSE(platform::listBrowseFiles(dir.path(), files));
        EXPECT_EQ(names(files), (std::vector<std::string>{"a.txt", "b.txt", "dangling"}));
    }
    {
        // An entry of unknown kind removed before it could be looked at, read last, is left out.
        const EntryOrder order({}, {{"removed", DT_UNKNOWN}});
        ASSERT_FALSE(platform::listBrowseFiles(dir.path(), files));
        EXPECT_EQ(names(files), (std::vector<std::string>{"a.txt", "b.txt", "dangling"}));
    }
    {
        // A regular file removed after it was read is listed without its facts.
        const EntryOrder order({}, {{"gone.log", DT_REG}});
        ASSERT_FALSE(platform::listBrowseFiles(dir.path(), files));
        ASSERT_EQ(files.size(), 4U);
        EXPECT_EQ(files[3].name, "gone.log");
        EXPECT_FALSE(files[3].hasTime);
        EXPECT_EQ(files[3].size, 0U);
    }
}

TEST(ExplorerPlatform, SkippedEntriesReadLastEndTheListingWithoutAnError) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    writeFile(dir.file("plain"), "x");
    // A read that succeeds may set errno; an entry skipped at the end must not carry it over.
    {
        const EntryOrder order({"sub", "plain", ".", ".."}, {}, EINTR);
        std::vector<std::string> subfolders;
        ASSERT_FALSE(platform::listSubfolders(dir.path(), subfolders));
        EXPECT_EQ(subfolders, (std::vector<std::string>{"sub"}));
    }
    {
        const EntryOrder order({"plain", "sub", ".", ".."}, {}, EINTR);
        std::vector<platform::BrowseEntry> files;
        ASSERT_FALSE(platform::listBrowseFiles(dir.path(), files));
        EXPECT_EQ(names(files), (std::vector<std::string>{"plain"}));
    }
}

TEST(ExplorerListing, LinksShowAsLinksAndScanFileRefusesThemAlike) {
    TempDir dir;
    writeFile(dir.file("db.dll"), testsupport::databaseText({"Selesai:Selesai"}));
    const SignatureDatabase database(dir.file("db.dll"));
    writeFile(dir.file("files/real.exe"), "MZ program");
    std::filesystem::create_symlink(dir.file("files/real.exe"), dir.file("files/short.exe"));
    std::vector<platform::BrowseEntry> files;
    ASSERT_FALSE(platform::listBrowseFiles(dir.file("files"), files));
    const auto listing = Explorer::BuildListing(dir.file("files"), files, Explorer::FilterAt(0));
    ASSERT_EQ(listing.rows.size(), 2U);
    EXPECT_EQ(listing.rows[0].typeText, "exe File");
    EXPECT_EQ(listing.rows[1].typeText, "Link");
    EXPECT_EQ(listing.rows[1].size, dir.file("files/real.exe").size());
    EXPECT_EQ(listing.sortText, " All of ''EXE'' sort.");

    const FileScan::Report real =
        FileScan::ScanFile(listing.rows[0].path, database, dir.file("Karantina"));
    EXPECT_EQ(FileScan::ResultText(real), "Not listed");
    const FileScan::Report link =
        FileScan::ScanFile(listing.rows[1].path, database, dir.file("Karantina"));
    EXPECT_EQ(FileScan::ResultText(link), "Not checked: not a regular file");
}

TEST(ExplorerListing, NamesAreShownUnambiguouslyAndKeptExact) {
    const std::vector<platform::BrowseEntry> files = {entry("bad\nname.com", 1),
                                                      entry("evil\xE2\x80\xAEtxt.exe", 1),
                                                      entry("inv\xFF\xFE.com", 1)};
    const auto listing = Explorer::BuildListing("/tmp/t\x01", files, Explorer::FilterAt(0));
    ASSERT_EQ(listing.rows.size(), 3U);
    EXPECT_EQ(listing.rows[0].path, "/tmp/t\x01/bad\nname.com");
    EXPECT_EQ(listing.rows[0].pathText, "/tmp/t\\x01/bad\\x0aname.com");
    EXPECT_EQ(listing.rows[1].pathText, "/tmp/t\\x01/evil\\u202Etxt.exe");
    EXPECT_EQ(listing.rows[2].path, "/tmp/t\x01/inv\xFF\xFE.com");
    EXPECT_EQ(listing.rows[2].pathText, "/tmp/t\\x01/inv\\xff\\xfe.com");

    const auto chain = Explorer::FolderChain("/a\nb", {"c\xE2\x80\xAE"
                                                       "d"});
    ASSERT_EQ(chain.size(), 3U);
    EXPECT_EQ(chain[1].path, "/a\nb");
    EXPECT_EQ(chain[1].label, "a\\x0ab");
    EXPECT_EQ(chain[2].path, "/a\nb/c\xE2\x80\xAE"
                             "d");
    EXPECT_EQ(chain[2].label, "c\\u202Ed");
    EXPECT_EQ(Explorer::NotReadyText("/media/a\nb"),
              "/media/a\\x0ab/ Is not accessible.\r\n\r\nThe device is not ready");
}

TEST(ExplorerListing, AFolderThatCannotBeListedSaysSo) {
    const auto listing = Explorer::NotAccessibleListing("/root/x\ny", "Permission denied");
    EXPECT_TRUE(listing.rows.empty());
    EXPECT_EQ(listing.countText, " 0 item(s) in directory.");
    EXPECT_EQ(listing.sortText, " /root/x\\x0ay/ Is not accessible. Permission denied.");
    EXPECT_EQ(listing.totalText, " 0 Bytes in directory.");
}
