#include "cache/VerdictCache.h"
#include "cache/VerdictStore.h"
#include "cli/Commands.h"
#include "engine/SignatureDatabase.h"
#include "engine/clsCRC.h"
#include "platform/InputFile.h"
#include "scanner/ScanCache.h"
#include "scanner/ScanSession.h"
#include "testsupport/CommandRun.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::CommandRun;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

class CacheCommandTest : public ::testing::Test {
protected:
    CacheCommandTest() {
        writeFile(database, testsupport::databaseText(
                                {ChecksumText(clsCRC().CalculateBytes(testsupport::eicar())) +
                                     ":EICAR-Test-File",
                                 "Selesai:Selesai"}));
        writeFile(tree.file("eicar.com"), testsupport::eicar());
        writeFile(tree.file("a.txt"), testsupport::noise(4000, 1));
        writeFile(tree.file("sub/b.txt"), testsupport::noise(9000, 2));
    }

    CommandRun kesto(std::vector<std::string> arguments) {
        return testsupport::runCommand(runKesto, arguments);
    }

    CommandRun scan(std::vector<std::string> arguments) {
        std::vector<std::string> full{
            "scan",        "--database", database, "--quarantine-dir", dir.file("Karantina"),
            "--cache-dir", cacheDir};
        full.insert(full.end(), arguments.begin(), arguments.end());
        return kesto(full);
    }

    /// Fills the cache as a scan that began ten seconds from now would, so that the files just
    /// written count as settled (a scan of the command line keeps only older files).
    void fillCache() {
        const SignatureDatabase signatures(database);
        std::string warning;
        const std::unique_ptr<VerdictCache> cache = OpenScanCache(signatures, cacheDir, warning);
        ASSERT_TRUE(cache) << warning;
        ScanOptions options;
        options.root = tree.path();
        options.database = &signatures;
        options.quarantineFolder = dir.file("Karantina");
        options.cache = cache.get();
        options.endProcesses = false;
        options.clock = [] { return platform::wallClockNs() + 10'000'000'000; };
        ScanObserver quiet;
        ASSERT_GE(RunScan(options, quiet, [] { return false; }).counts.checked, 3u);
    }

    std::string storePath() const { return cacheDir + "/" + std::string(VerdictStore::kFileName); }

    TempDir dir;
    TempDir tree;
    std::string database = dir.file("db.dll");
    std::string cacheDir = dir.file("cache");
};

/// The scan's report without the lines that tell how long it took and how many files the cache
/// answered.
std::string withoutElapsed(const std::string& out) {
    std::string kept;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        const std::string line = out.substr(start, end - start + 1);
        if (line.rfind("Eplased", 0) != 0 && line.find("\"elapsed\"") == std::string::npos &&
            line.find("\"cached\"") == std::string::npos) {
            kept += line;
        }
        start = end == std::string::npos ? out.size() : end + 1;
    }
    return kept;
}

} // namespace

TEST_F(CacheCommandTest, ScansAnswerUnchangedFilesFromTheCacheWithTheSameReport) {
    fillCache();
    const CommandRun cached = scan({"--json", tree.path()});
    EXPECT_EQ(cached.code, kExitDetected) << cached.err;
    EXPECT_EQ(cached.err, "");
    EXPECT_NE(cached.out.find("\"checked\": 3,\n  \"cached\": 3,"), std::string::npos)
        << cached.out;
    const CommandRun read = scan({"--json", "--no-cache", tree.path()});
    EXPECT_NE(read.out.find("\"cached\": 0,"), std::string::npos) << read.out;
    EXPECT_EQ(withoutElapsed(read.out), withoutElapsed(cached.out));

    const CommandRun text = scan({tree.path()});
    const CommandRun textRead = scan({"--no-cache", tree.path()});
    EXPECT_EQ(text.code, kExitDetected);
    EXPECT_EQ(withoutElapsed(text.out), withoutElapsed(textRead.out));
    EXPECT_NE(text.out.find("eicar.com: EICAR-Test-File FOUND"), std::string::npos) << text.out;
}

TEST_F(CacheCommandTest, StatsShowTheLastScanAndClearEmptiesTheCache) {
    fillCache();
    scan({tree.path()});
    const CommandRun stats = kesto({"cache", "stats", "--cache-dir", cacheDir});
    EXPECT_EQ(stats.code, kExitClean) << stats.err;
    EXPECT_EQ(stats.out.rfind("Verdict cache : " + storePath() + "\nEntries       : 3\n", 0), 0u)
        << stats.out;
    EXPECT_NE(stats.out.find("(limit 64.0 MiB)\n"), std::string::npos) << stats.out;
    EXPECT_NE(stats.out.find("Last scan     : 3 file(s) checked, 3 answered from the cache\n"),
              std::string::npos)
        << stats.out;

    const CommandRun cleared = kesto({"cache", "clear", "--cache-dir", cacheDir});
    EXPECT_EQ(cleared.code, kExitClean);
    EXPECT_EQ(cleared.out, "Verdict cache cleared: 3 entries removed\n");
    const CommandRun json = kesto({"cache", "stats", "--json", "--cache-dir", cacheDir});
    EXPECT_NE(json.out.find("\"entries\": 0,"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"lastScan\": null"), std::string::npos) << json.out;
    EXPECT_NE(scan({"--json", tree.path()}).out.find("\"cached\": 0,"), std::string::npos);

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"cache"}, {"cache", "purge"}, {"cache", "stats", "extra"}}) {
        const CommandRun run = kesto(wrong);
        EXPECT_EQ(run.code, kExitError);
        EXPECT_EQ(run.err, "kesto: cache needs 'stats' or 'clear'\nTry 'kesto --help'.\n");
    }
}

TEST_F(CacheCommandTest, ACacheThatCannotBeTrustedIsLeftAloneAndTheScanReadsEverything) {
    // Which owners and modes count as untrusted is tested with the store and its folder; here,
    // what the scan does then.
    fillCache();
    ::chmod(storePath().c_str(), 0666);
    const CommandRun run = scan({"--json", tree.path()});
    EXPECT_EQ(run.code, kExitDetected);
    EXPECT_NE(run.out.find("\"cached\": 0,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("eicar.com"), std::string::npos);
    EXPECT_EQ(run.err, "kesto: cannot use the verdict cache in '" + cacheDir +
                           "': other users may change it; scanning without it\n");
    ::chmod(storePath().c_str(), 0600);
    EXPECT_NE(scan({"--json", tree.path()}).out.find("\"cached\": 3,"), std::string::npos);
}

TEST_F(CacheCommandTest, ACacheOfAnotherUserIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the cache to another user";
    }
    fillCache();
    ASSERT_EQ(::chown(storePath().c_str(), 12345, 12345), 0);
    CommandRun run = scan({"--json", tree.path()});
    EXPECT_EQ(run.code, kExitDetected);
    EXPECT_NE(run.out.find("\"cached\": 0,"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("owned by another user; scanning without it"), std::string::npos)
        << run.err;
    ASSERT_EQ(::chown(storePath().c_str(), 0, 0), 0);
    ASSERT_EQ(::chown(cacheDir.c_str(), 12345, 12345), 0);
    run = scan({tree.path()});
    EXPECT_NE(run.err.find("cannot use the verdict cache folder '" + cacheDir +
                           "': owned by another user; scanning without it"),
              std::string::npos)
        << run.err;
}

TEST_F(CacheCommandTest, ADamagedOrTruncatedCacheIsSetAsideWithOneWarning) {
    for (const bool truncate : {false, true}) {
        SCOPED_TRACE(truncate ? "truncated" : "damaged");
        fillCache();
        if (truncate) {
            // More entries, so that the store spans pages past the one it is cut to.
            for (int i = 0; i < 400; ++i) {
                writeFile(tree.file("many/f" + std::to_string(i)), std::to_string(i));
            }
            fillCache();
            std::filesystem::resize_file(storePath(), 4096);
        } else {
            writeFile(storePath(), testsupport::randomBytes(64 * 1024, 7));
        }
        const CommandRun run = scan({"--json", tree.path()});
        EXPECT_EQ(run.code, kExitDetected);
        EXPECT_NE(run.out.find("\"cached\": 0,"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("eicar.com"), std::string::npos);
        EXPECT_NE(run.err.find("the verdict cache was damaged"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("set aside as 'verdicts.lmdb.damaged' and started anew in '" +
                               cacheDir + "'\n"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one warning: " << run.err;
        EXPECT_TRUE(std::filesystem::exists(storePath() + ".damaged"));
        // The new store works: no second warning, and it is filled again.
        EXPECT_EQ(scan({tree.path()}).err, "");
        std::filesystem::remove_all(tree.file("many"));
    }
}
