#include "scanner/ScanCache.h"

#include "cache/VerdictCache.h"
#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "engine/clsCRC.h"
#include "platform/InputFile.h"
#include "platform/ScopedSeam.h"
#include "scanner/ScanSession.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

/// The names of the files the scans opened, in no particular order.
std::mutex g_openedMutex;
std::vector<std::string> g_opened;

void noteOpened(const std::string& name) {
    const std::lock_guard lock(g_openedMutex);
    g_opened.push_back(name);
}

/// Everything a scan reported, as lines, with its rows and the processes it would have ended.
struct ScanRecord : ScanObserver {
    void fileStarted(const std::string& status) override { lines.push_back("file " + status); }
    void detectionListed(const DetectionEntry& entry, std::uint64_t detections) override {
        lines.push_back("listed " + std::to_string(detections) + " " + entry.name + " " +
                        entry.location + " " + entry.size + " " + entry.information);
    }
    void fileChecked(const ScanProgress& progress) override {
        lines.push_back("checked " + std::to_string(progress.checked) + " " + progress.percentText);
    }
    void finished(const ScanSummary& summary) override {
        lines.push_back("finished " + summary.completion.status);
    }

    std::vector<std::string> lines;
    std::vector<std::string> ended;
    ScanSummary summary;
    std::vector<std::string> opened; ///< names opened for reading, sorted, the database left out
};

std::int64_t nanoseconds(const struct timespec& time) {
    return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

/// The change time of the file at `path`.
std::int64_t changeTime(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return nanoseconds(info.st_ctim);
}

class ScanCacheTest : public ::testing::Test {
protected:
    ScanCacheTest() {
        lines = {"Selesai:Selesai"};
        plant("clean.txt", testsupport::noise(3000, 1));
        plant("other.bin", testsupport::noise(5000, 2));
        plant("listed.doc", "listed content", "Listed.Threat");
        plant("sub/elf-listed.txt",
              std::string("\x7f"
                          "ELF") +
                  "listed program",
              "Elf.Threat");
        plant("sub/program.exe", testsupport::noise(900, 3) + pattern + testsupport::noise(50, 4));
        plant("sub/deeper/clean.exe", testsupport::noise(2000, 5));
        list(swapped, "Swapped.Threat");
    }

    /// Lists the checksum of `content` under `threat` in the database.
    void list(const std::string& content, const std::string& threat) {
        lines.insert(lines.end() - 1,
                     ChecksumText(clsCRC().CalculateBytes(content)) + ":" + threat);
        writeFile(databasePath, testsupport::databaseText(lines));
    }

    /// Writes a file and, when `threat` is given, lists its checksum under that name.
    void plant(const std::string& relative, const std::string& content,
               const std::string& threat = "") {
        writeFile(tree.file(relative), content);
        if (!threat.empty()) {
            list(content, threat);
        }
    }

    /// Whether the scan listed the file at `relative`.
    bool listed(const ScanRecord& run, const std::string& relative) const {
        return std::any_of(
            run.summary.detections.begin(), run.summary.detections.end(),
            [&](const DetectionEntry& row) { return row.location == tree.file(relative); });
    }

    /// Rewrites the file with `content` until its change time moves (a change within one tick
    /// of the file system's clock would leave it as it was), then puts its old modification time
    /// back, as a program that hides a change would.
    void rewriteKeepingTimes(const std::string& relative, const std::string& content) {
        const std::string path = tree.file(relative);
        struct stat before {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);
        do {
            writeFile(path, content);
        } while (changeTime(path) == nanoseconds(before.st_ctim));
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }

    /// The options of a scan of the tree with `cache`.
    ScanOptions optionsWith(VerdictCache* cache) const {
        ScanOptions options;
        options.root = tree.path();
        options.database = &database;
        options.quarantineFolder = dir.file("Karantina");
        options.cache = cache;
        return options;
    }

    /// One whole scan of the tree with the cache for the database as it is now. The scan starts
    /// ten seconds after the clock, so that the files just written count as settled.
    ScanRecord scan(bool useCache = true) {
        std::string warning;
        std::unique_ptr<VerdictCache> cache =
            useCache ? OpenScanCache(database, dir.file("cache"), warning) : nullptr;
        EXPECT_EQ(warning, "");
        ScanRecord record;
        ScanOptions options = optionsWith(cache.get());
        options.threads = 2;
        options.endRunningProcess = [&record](const std::string& path) {
            record.ended.push_back(path);
            return std::size_t{0};
        };
        options.clock = [] { return platform::wallClockNs() + 10'000'000'000; };
        {
            const std::lock_guard lock(g_openedMutex);
            g_opened.clear();
        }
        {
            const platform::ScopedSeam<platform::InputOpenHook> seam(platform::setInputOpenHook,
                                                                     noteOpened);
            record.summary = RunScan(options, record, [] { return false; });
        }
        const std::lock_guard lock(g_openedMutex);
        for (const std::string& name : g_opened) {
            if (name != databasePath) {
                record.opened.push_back(name);
            }
        }
        // A file read ahead of its check is opened twice.
        std::sort(record.opened.begin(), record.opened.end());
        record.opened.erase(std::unique(record.opened.begin(), record.opened.end()),
                            record.opened.end());
        return record;
    }

    TempDir dir;
    TempDir tree;
    std::string databasePath = dir.file("db.dll");
    std::vector<std::string> lines;
    SignatureDatabase database{databasePath};
    std::string pattern = StringSignature::VirusEntries()[0].pattern;
    /// Content as long as clean.txt's, listed in the database.
    std::string swapped = testsupport::noise(3000, 99);
    const std::vector<std::string> allFiles{"clean.exe",  "clean.txt", "elf-listed.txt",
                                            "listed.doc", "other.bin", "program.exe"};
};

} // namespace

TEST_F(ScanCacheTest, SecondScanOfAnUnchangedTreeReadsNothingAndReportsTheSame) {
    const ScanRecord first = scan();
    EXPECT_EQ(first.opened, allFiles);
    EXPECT_EQ(first.summary.counts.cached, 0u);
    ASSERT_EQ(first.summary.detections.size(), 3u);

    const ScanRecord second = scan();
    EXPECT_EQ(second.opened, std::vector<std::string>{});
    EXPECT_EQ(second.summary.counts.cached, allFiles.size());
    EXPECT_EQ(second.lines, first.lines);
    EXPECT_EQ(second.summary.detections, first.summary.detections);
    // The listed program's process is still looked for: only its first bytes show it can run.
    EXPECT_EQ(second.ended, first.ended);
    EXPECT_EQ(second.ended, std::vector<std::string>{tree.file("sub/elf-listed.txt")});
    // What the actions check before they act is the file as the scan saw it.
    for (std::size_t i = 0; i < first.summary.detections.size(); ++i) {
        EXPECT_EQ(second.summary.detections[i].stamp, first.summary.detections[i].stamp);
    }

    // The same tree without the cache reads every file and reports alike.
    const ScanRecord uncached = scan(false);
    EXPECT_EQ(uncached.opened, allFiles);
    EXPECT_EQ(uncached.lines, first.lines);
}

TEST_F(ScanCacheTest, EachKindOfChangeIsReadAgainAndOnlyThat) {
    scan();
    // Content rewritten with its length and modification time put back: a listed file now.
    rewriteKeepingTimes("clean.txt", swapped);
    ScanRecord run = scan();
    EXPECT_EQ(run.opened, std::vector<std::string>{"clean.txt"});
    EXPECT_EQ(run.summary.detections.size(), 4u);
    EXPECT_TRUE(listed(run, "clean.txt"));

    // Replaced by renaming another file over it.
    writeFile(tree.file("incoming.tmp"), testsupport::noise(5000, 2));
    ::rename(tree.file("incoming.tmp").c_str(), tree.file("other.bin").c_str());
    run = scan();
    EXPECT_EQ(run.opened, std::vector<std::string>{"other.bin"});

    // Removed and made again with the same length and times; the new file may get the old inode.
    struct stat old {};
    ASSERT_EQ(::lstat(tree.file("listed.doc").c_str(), &old), 0);
    ASSERT_EQ(::unlink(tree.file("listed.doc").c_str()), 0);
    writeFile(tree.file("listed.doc"), "LISTED CONTENT");
    const struct timespec times[2] = {old.st_atim, old.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.file("listed.doc").c_str(), times, 0), 0);
    run = scan();
    EXPECT_EQ(run.opened, std::vector<std::string>{"listed.doc"});
    EXPECT_FALSE(listed(run, "listed.doc"));

    // A file renamed to a program's name is searched for the patterns it was not searched for.
    plant("notes.txt", pattern + testsupport::noise(100, 6));
    scan();
    ::rename(tree.file("notes.txt").c_str(), tree.file("notes.exe").c_str());
    run = scan();
    EXPECT_EQ(run.opened, std::vector<std::string>{"notes.exe"});
    EXPECT_TRUE(listed(run, "notes.exe"));

    // Nothing changed since: nothing read.
    EXPECT_EQ(scan().opened, std::vector<std::string>{});
}

TEST_F(ScanCacheTest, ANewDatabaseLineHasEveryFileReadAgain) {
    scan();
    list(testsupport::noise(2000, 5), "Now.Listed");
    const ScanRecord run = scan();
    EXPECT_EQ(run.opened, allFiles);
    EXPECT_EQ(run.summary.counts.cached, 0u);
    EXPECT_TRUE(listed(run, "sub/deeper/clean.exe"));
}

TEST_F(ScanCacheTest, TwoNamesOfOneFileGetTheChecksTheirNamesNeed) {
    // One file, a program under one name and a document under the other: the document's facts
    // must never pass for the program's, which needs the pattern search.
    plant("pair.txt", pattern + testsupport::noise(200, 7));
    ASSERT_EQ(::link(tree.file("pair.txt").c_str(), tree.file("pair.exe").c_str()), 0);
    for (int round = 0; round < 3; ++round) {
        const ScanRecord run = scan();
        EXPECT_TRUE(listed(run, "pair.exe")) << "round " << round;
        EXPECT_FALSE(listed(run, "pair.txt")) << "round " << round;
    }
}

TEST_F(ScanCacheTest, FilesChangedJustBeforeTheScanAreNotKept) {
    // With the real clock, files written a moment ago may still change within the same tick of
    // the file system's clock: none of them is kept, so the next scan reads them all.
    std::string warning;
    const std::unique_ptr<VerdictCache> cache = OpenScanCache(database, dir.file("cache"), warning);
    ASSERT_TRUE(cache);
    ScanRecord record;
    ScanOptions options = optionsWith(cache.get());
    options.endProcesses = false;
    RunScan(options, record, [] { return false; });
    const std::int64_t newest = changeTime(tree.file("sub/deeper/clean.exe"));
    if (platform::wallClockNs() - newest >= VerdictCache::kSettledNanoseconds) {
        GTEST_SKIP() << "the machine took too long to keep the files new";
    }
    EXPECT_EQ(cache->store().stats().entries, 0u);
}
