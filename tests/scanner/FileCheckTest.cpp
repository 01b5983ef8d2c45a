#include "scanner/FileCheck.h"

#include "WalkedFiles.h"
#include "engine/KestoEngine.h"
#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "engine/clsCRC.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::string checksumOf(const std::string& content) {
    return ChecksumText(clsCRC().CalculateBytes(content));
}

/// A file of exactly `size` bytes: noise with `marker` at its start.
std::string sized(std::size_t size, const std::string& marker = "") {
    std::string content = testsupport::noise(size, static_cast<std::uint32_t>(size));
    content.replace(0, marker.size(), marker);
    return content;
}

class FileCheckTest : public ::testing::Test {
protected:
    /// Writes `content` as `relative`, adds its checksum to the database when `listed`, and
    /// checks it.
    std::optional<DetectionEntry> check(const std::string& relative, const std::string& content,
                                        bool listed = true) {
        const std::string path = dir.file(relative);
        writeFile(path, content);
        if (listed) {
            lines.insert(lines.end() - 1, checksumOf(content) + ":Db.Threat");
            writeFile(databasePath, testsupport::databaseText(lines));
        }
        platform::ReadBuffer buffer;
        return CheckFile(testsupport::walkedFile(path), context, buffer).row;
    }

    TempDir dir;
    std::string databasePath = dir.file("db.dll");
    std::vector<std::string> lines{"Selesai:Selesai"};
    SignatureDatabase database{databasePath};
    FileCheckContext context{database, dir.file("Karantina")};
    std::string pattern1 = StringSignature::VirusEntries()[0].pattern; // w32.service, 17920
};

/// `path` as the walk listed it, with a length of its own choosing.
WalkedFile walkedWithSize(const std::string& path, std::uint64_t size) {
    WalkedFile file = testsupport::walkedFile(path);
    file.size = size;
    return file;
}

} // namespace

TEST_F(FileCheckTest, ChecksumListingCarriesNamePathSizeAndAdvice) {
    const auto row = check("folder/file.txt", "some content");
    ASSERT_TRUE(row);
    EXPECT_EQ(*row,
              (DetectionEntry{"Db.Threat", dir.file("folder/file.txt"), "12", kChecksumAdvice}));
    EXPECT_FALSE(check("clean.txt", "other content", false));
}

TEST_F(FileCheckTest, SizeLimitsOfTheChecksumAndOfAnyExamination) {
    EXPECT_TRUE(check("a.txt", sized(767'999)));
    EXPECT_FALSE(check("b.txt", sized(768'000)));
    EXPECT_TRUE(check("c.exe", sized(4'095'999, pattern1)));
    EXPECT_FALSE(check("d.exe", sized(4'096'000, pattern1)));
    // Too large for the checksum, but a program still gets the pattern search.
    const auto large = check("e.exe", sized(800 * 1024, pattern1), false);
    ASSERT_TRUE(large);
    EXPECT_EQ(large->name, "w32.service");
}

TEST_F(FileCheckTest, OnlyProgramsAndScreenSaversGetThePatternSearch) {
    EXPECT_TRUE(check("UPPER.EXE", sized(1000, pattern1), false));
    EXPECT_TRUE(check("saver.scr", sized(1000, pattern1), false));
    EXPECT_FALSE(check("tool.com", sized(1000, pattern1), false));
    EXPECT_FALSE(check("run.bat", sized(1000, pattern1), false));
    EXPECT_FALSE(check("setup.exe.bak", sized(1000, pattern1), false));
    // A .com file still gets the checksum check.
    EXPECT_TRUE(check("listed.com", sized(1000, pattern1)));
}

TEST_F(FileCheckTest, PatternListingWinsOverTheDatabaseAndMarksLargerFiles) {
    const auto both = check("both.exe", sized(17'921, pattern1));
    ASSERT_TRUE(both);
    EXPECT_EQ(both->name, "w32.service");
    EXPECT_EQ(both->information, kInfectedFileInformation);
    const auto exact = check("exact.exe", sized(17'920, pattern1), false);
    ASSERT_TRUE(exact);
    EXPECT_EQ(exact->information, "");
}

TEST_F(FileCheckTest, OnlyTheQuarantineFolderItselfIsSkipped) {
    EXPECT_FALSE(check("Karantina/setup.exe_vir", "quarantined"));
    EXPECT_FALSE(check("Karantina/old/setup.exe_vir", "quarantined earlier"));
    EXPECT_TRUE(check("Karantina2/file", "shares the prefix"));
    EXPECT_TRUE(check("karantina/file", "lower-case twin"));
}

TEST_F(FileCheckTest, MarkedChecksumIsAUserRequest) {
    const std::string content = "marked by the user";
    KestoEngine::SetTempDbChecksum(checksumOf(content));
    const auto row = check("marked.txt", content);
    KestoEngine::SetTempDbChecksum("");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->name, "User Request");
    EXPECT_EQ(row->information, kChecksumAdvice);
}

TEST_F(FileCheckTest, FailuresListNothingAndSaySo) {
    // A database without its end line cannot answer for absent keys.
    writeFile(databasePath, "ABC:Other\r\n");
    platform::ReadBuffer buffer;
    writeFile(dir.file("plain.txt"), "plain");
    const FileCheckResult notLookedUp =
        CheckFile(testsupport::walkedFile(dir.file("plain.txt")), context, buffer);
    EXPECT_FALSE(notLookedUp.row);
    EXPECT_FALSE(notLookedUp.lookupFailure.empty());
    EXPECT_TRUE(notLookedUp.unreadable.empty());

    writeFile(databasePath, testsupport::databaseText({"0:Zero.Checksum", "Selesai:Selesai"}));
    // A file that left since the walk, or became a link, has nothing to examine.
    const FileCheckResult vanished =
        CheckFile(walkedWithSize(dir.file("vanished.txt"), 10), context, buffer);
    EXPECT_FALSE(vanished.row);
    EXPECT_TRUE(vanished.unreadable.empty());
    ::symlink(dir.file("plain.txt").c_str(), dir.file("link.txt").c_str());
    EXPECT_FALSE(CheckFile(walkedWithSize(dir.file("link.txt"), 5), context, buffer).row);

    writeFile(dir.file("empty.txt"), "");
    EXPECT_TRUE(CheckFile(testsupport::walkedFile(dir.file("empty.txt")), context, buffer).row);
    // A kernel file reports no length yet has content; it is not read, so it is "0" too.
    const std::string kernelFile = "/proc/" + std::to_string(::getpid()) + "/stat";
    EXPECT_TRUE(CheckFile(testsupport::walkedFile(kernelFile), context, buffer).row);
    // A file that grew past the examination limit after the walk is not examined.
    const std::string grown = sized(4'096'000);
    writeFile(dir.file("grown.dat"), grown);
    writeFile(databasePath,
              testsupport::databaseText(
                  {"0:Zero.Checksum", checksumOf(grown) + ":Grown", "Selesai:Selesai"}));
    EXPECT_FALSE(CheckFile(walkedWithSize(dir.file("grown.dat"), 100), context, buffer).row);
    // The length is the file's own as it is opened, whatever the walk saw before.
    writeFile(dir.file("grown.txt"), "grown since the walk");
    writeFile(databasePath,
              testsupport::databaseText(
                  {checksumOf("grown since the walk") + ":Grown.Small", "Selesai:Selesai"}));
    const auto grownSmall = CheckFile(walkedWithSize(dir.file("grown.txt"), 0), context, buffer);
    ASSERT_TRUE(grownSmall.row);
    EXPECT_EQ(grownSmall.row->size, "20");
}

TEST_F(FileCheckTest, UnreadableFileIsReportedNotClean) {
    writeFile(dir.file("locked.com"), testsupport::eicar());
    ::chmod(dir.file("locked.com").c_str(), 0);
    writeFile(databasePath, testsupport::databaseText(
                                {checksumOf(testsupport::eicar()) + ":Eicar", "Selesai:Selesai"}));
    const WalkedFile file = testsupport::walkedFile(dir.file("locked.com"));
    // 0: reported unreadable and not listed; 1: anything else.
    const int status = testsupport::runUnprivileged([&] {
        platform::ReadBuffer buffer;
        const FileCheckResult result = CheckFile(file, context, buffer);
        return !result.row && !result.unreadable.empty() ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(InQuarantine, ComparesWholeFolderNames) {
    EXPECT_TRUE(InQuarantine("/p/Karantina/", "/p/Karantina"));
    EXPECT_TRUE(InQuarantine("/p/Karantina/old/", "/p/Karantina"));
    EXPECT_TRUE(InQuarantine("/p/Karantina/", "/p/Karantina/"));
    EXPECT_FALSE(InQuarantine("/p/Karantina2/", "/p/Karantina"));
    EXPECT_FALSE(InQuarantine("/p/Karantina-old/x/", "/p/Karantina"));
    EXPECT_FALSE(InQuarantine("/p/", "/p/Karantina"));
    EXPECT_FALSE(InQuarantine("/q/Karantina/", ""));
}
