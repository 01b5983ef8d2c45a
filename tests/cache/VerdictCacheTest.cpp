#include "cache/VerdictCache.h"

#include "testsupport/TempDir.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

/// A cache kept under a temporary folder, for files said to lie in that folder (on a local file
/// system with true change times: ext4 or tmpfs).
class VerdictCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_files.openPath(m_dir.path()));
        const auto volume = m_files.volume();
        ASSERT_TRUE(volume && volume->changeTimesTrusted) << "the temporary folder's file system";
    }

    std::unique_ptr<VerdictCache> open(const std::string& fingerprint = "fingerprint") {
        std::string warning;
        auto cache = VerdictCache::Open(m_dir.file("cache"), fingerprint, warning);
        EXPECT_TRUE(cache) << warning;
        EXPECT_EQ(warning, "");
        return cache;
    }

    const platform::FolderHandle& files() const { return m_files; }

    /// The stamp of a file of the folder.
    platform::FileStamp stamp(std::uint64_t inode, std::int64_t changedNs) const {
        return {m_files.id().device, inode, 100 + inode, changedNs - 7, changedNs};
    }

private:
    testsupport::TempDir m_dir;
    platform::FolderHandle m_files;
};

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

ContentFacts factsOf(std::uint64_t inode) {
    return {static_cast<std::uint32_t>(inode * 31), true, static_cast<std::uint16_t>(inode % 2),
            inode % 3 == 0};
}

ContentStamp contentOf(const platform::FileStamp& stamp) {
    return {stamp.size, stamp.changedNs};
}

TEST_F(VerdictCacheTest, OnlySettledFilesOnTheFoldersVolumeAreKeptForLaterScans) {
    auto cache = open();
    const std::int64_t started = now();
    const std::int64_t settled = started - VerdictCache::kSettledNanoseconds;
    cache->beginScan(started);
    const platform::FileStamp kept = stamp(11, settled - 1);
    cache->remember(files(), kept, factsOf(11));
    cache->remember(files(), stamp(12, settled), factsOf(12));
    cache->remember(files(), stamp(13, started - 1'000'000), factsOf(13));
    platform::FileStamp mounted = stamp(14, settled - 1); // another file system mounted there
    mounted.device += 1;
    cache->remember(files(), mounted, factsOf(14));
    platform::FileStamp huge = stamp(15, settled - 1);
    huge.size = VerdictRecord::kMaxSize;
    cache->remember(files(), huge, factsOf(15));
    // A file system that may give any change time keeps nothing.
    platform::FolderHandle proc;
    ASSERT_FALSE(proc.openPath("/proc"));
    ASSERT_FALSE(proc.volume().value_or(platform::VolumeFacts{}).changeTimesTrusted);
    cache->remember(proc, {proc.id().device, 16, 0, settled - 1, settled - 1}, factsOf(16));
    cache->endScan(5, 0);
    VerdictStoreStats stats = cache->store().stats();
    EXPECT_EQ(stats.entries, 1u);
    EXPECT_EQ(stats.lastChecked, 5u);
    EXPECT_EQ(stats.lastHits, 0u);

    cache->beginScan(now());
    const auto found = cache->find(files(), 11);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->stamp, contentOf(kept));
    EXPECT_EQ(found->facts, factsOf(11));
    for (std::uint64_t inode = 12; inode <= 15; ++inode) {
        EXPECT_FALSE(cache->find(files(), inode)) << inode;
    }
    cache->endScan(1, 1);
    EXPECT_EQ(cache->store().stats().lastHits, 1u);

    // The next run of the program finds them under the same fingerprint only.
    cache.reset(); // one store object per process at a time
    cache = open();
    cache->beginScan(now());
    EXPECT_EQ(cache->find(files(), 11), found);
    cache.reset();
    cache = open("another fingerprint");
    cache->beginScan(now());
    EXPECT_FALSE(cache->find(files(), 11));
}

TEST_F(VerdictCacheTest, ThreadsLookUpAndKeepFactsAtOnce) {
    constexpr std::uint64_t kPerThread = 300;
    const std::int64_t changed = now() - 10 * VerdictCache::kSettledNanoseconds;
    auto cache = open();
    cache->beginScan(now());
    for (std::uint64_t inode = 1; inode <= kPerThread; ++inode) {
        cache->remember(files(), stamp(inode, changed), factsOf(inode));
    }
    cache->endScan(kPerThread, 0);

    // Each thread looks up the files of the first scan and keeps facts of new ones.
    cache->beginScan(now());
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (std::uint64_t t = 1; t <= 2; ++t) {
        threads.emplace_back([&, t] {
            for (std::uint64_t inode = 1; inode <= kPerThread; ++inode) {
                const auto found = cache->find(files(), inode);
                if (!found || found->facts != factsOf(inode) ||
                    found->stamp != contentOf(stamp(inode, changed))) {
                    ++wrong;
                }
                const std::uint64_t added = t * 1000 + inode;
                cache->remember(files(), stamp(added, changed), factsOf(added));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
    cache->endScan(2 * kPerThread, 2 * kPerThread);
    EXPECT_EQ(cache->store().stats().entries, 3 * kPerThread);
}

} // namespace
