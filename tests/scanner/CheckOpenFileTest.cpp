#include "cache/VerdictCache.h"
#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "engine/clsCRC.h"
#include "platform/InputFile.h"
#include "scanner/FileCheck.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class CheckOpenFileTest : public ::testing::Test {
protected:
    CheckOpenFileTest() {
        writeFile(databasePath, testsupport::databaseText({listedLine, "Selesai:Selesai"}));
    }

    /// Writes `content` as `name` and checks the file once opened.
    OpenFileVerdict check(const std::string& name, const std::string& content) {
        writeFile(dir.file(name), content);
        return checkAgain(name);
    }

    OpenFileVerdict checkAgain(const std::string& name) {
        platform::InputFile file;
        EXPECT_FALSE(file.open(dir.file(name)));
        platform::ReadBuffer buffer;
        return CheckOpenFile(file, name, context, buffer);
    }

    TempDir dir;
    std::string listedContent = "listed content of a program";
    std::string listedLine = ChecksumText(clsCRC().CalculateBytes(listedContent)) + ":Db.Threat";
    std::string databasePath = dir.file("db.dll");
    SignatureDatabase database{databasePath};
    OpenFileContext context{database, 0, nullptr, {}};
    std::string pattern = StringSignature::VirusEntries()[0].pattern; // w32.service
};

} // namespace

TEST_F(CheckOpenFileTest, ListsAsAScanListsAWalkedFile) {
    const OpenFileVerdict listed = check("run.sh", listedContent);
    EXPECT_EQ(listed.threat, "Db.Threat");
    EXPECT_EQ(listed.information, kChecksumAdvice);
    EXPECT_TRUE(listed.examined);
    EXPECT_FALSE(listed.fromCache);

    // The pattern lists a program's name only; the same bytes under another name are clean.
    const std::string carrier = testsupport::noise(1000, 3) + pattern + testsupport::noise(90, 4);
    EXPECT_EQ(check("tool.exe", carrier).threat, "w32.service");
    EXPECT_EQ(check("tool.bin", carrier).threat, "");
    EXPECT_TRUE(check("clean", testsupport::noise(4000, 5)).threat.empty());
}

TEST_F(CheckOpenFileTest, FilesAScanPassesOverAreNotExamined) {
    // Too large for the checksum and not a program, or empty: nothing is read.
    const OpenFileVerdict large = check("big.bin", testsupport::noise(800 * 1024, 6));
    EXPECT_FALSE(large.examined);
    EXPECT_FALSE(check("empty", "").examined);
    EXPECT_FALSE(ExaminedByCheck("big.bin", 768'000));
    EXPECT_TRUE(ExaminedByCheck("big.exe", 768'000));
    EXPECT_FALSE(ExaminedByCheck("huge.exe", 4'096'000));
}

TEST_F(CheckOpenFileTest, UnchangedFilesAreAnsweredFromTheCache) {
    std::string warning;
    const std::unique_ptr<VerdictCache> cache =
        VerdictCache::Open(dir.file("cache"), "fingerprint", warning);
    if (!cache) {
        GTEST_SKIP() << "no verdict cache here: " << warning;
    }
    context.cache = cache.get();
    // A clock well past the files' change times, so that what is read counts as settled.
    context.nowNs = [] { return nowNs() + 10'000'000'000; };
    EXPECT_EQ(check("run.sh", listedContent).threat, "Db.Threat");
    EXPECT_TRUE(check("tool.exe", testsupport::noise(3000, 7)).threat.empty());
    cache->endScan(2, 0);      // writes what waits
    cache->beginScan(nowNs()); // sees the file system the writes added

    const OpenFileVerdict again = checkAgain("run.sh");
    EXPECT_TRUE(again.fromCache);
    EXPECT_EQ(again.threat, "Db.Threat");
    EXPECT_TRUE(checkAgain("tool.exe").fromCache);

    // A file changed since is read again, whatever the cache kept; a clock that says the change
    // is recent keeps nothing.
    context.nowNs = nowNs;
    const OpenFileVerdict changed = check("run.sh", testsupport::noise(500, 8));
    EXPECT_FALSE(changed.fromCache);
    EXPECT_TRUE(changed.threat.empty());
    cache->endScan(1, 0);
    cache->beginScan(nowNs());
    EXPECT_FALSE(checkAgain("run.sh").fromCache);
}
