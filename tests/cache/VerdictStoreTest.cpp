#include "cache/VerdictStore.h"

#include "StoreFolder.h"
#include "cache/CacheError.h"
#include "platform/FileFacts.h"
#include "testsupport/SampleFiles.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using cachetest::entry;
using cachetest::sampleRecord;

class VerdictStoreTest : public cachetest::StoreFolder {
protected:
    /// Opens the store expecting a refusal: no store, no file set aside.
    std::error_code refusal() {
        std::string warning;
        std::error_code error;
        EXPECT_FALSE(VerdictStore::Open(folder(), VerdictStore::kDefaultLimit, warning, error));
        EXPECT_FALSE(std::filesystem::exists(storePath() + ".damaged"));
        return error;
    }
};

/// The record as the store hands it back: with the serial of the write.
VerdictRecord written(VerdictRecord record, std::uint32_t serial) {
    record.serial = serial;
    return record;
}

TEST_F(VerdictStoreTest, OpeningMakesFilesOpenToTheOwnerOnly) {
    ASSERT_TRUE(open(1 << 20));
    for (const std::string suffix : {"", "-lock"}) {
        struct stat info {};
        ASSERT_EQ(::lstat((storePath() + suffix).c_str(), &info), 0) << suffix;
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0600u) << suffix;
        EXPECT_EQ(info.st_uid, ::geteuid());
    }
    const VerdictStoreStats stats = open(1 << 20)->stats();
    EXPECT_EQ(stats.entries, 0u);
    EXPECT_EQ(stats.limit, 1u << 20);
    EXPECT_GT(stats.bytes, 0u);
    EXPECT_FALSE(stats.lastChecked);
}

TEST_F(VerdictStoreTest, EntriesAreFoundUnderTheirFingerprintAndVolumeOnly) {
    auto store = open();
    const std::uint32_t serial = store->startScan();
    const std::vector<PendingVerdict> pending = {entry(7, 8, 1, sampleRecord(1)),
                                                 entry(7, 8, 2, sampleRecord(2)),
                                                 entry(7, 8, 3, sampleRecord(3))};
    ASSERT_FALSE(store->write("A", serial, pending));
    const auto volume = store->findVolume("A", 7, 8);
    ASSERT_TRUE(volume);
    for (std::uint32_t n = 1; n <= 3; ++n) {
        EXPECT_EQ(store->find("A", *volume, n), written(sampleRecord(n), serial)) << n;
    }
    EXPECT_FALSE(store->find("A", *volume, 4));
    EXPECT_FALSE(store->find("A", *volume + 1, 1));
    EXPECT_FALSE(store->find("B", *volume, 1));
    EXPECT_FALSE(store->findVolume("B", 7, 8));
    EXPECT_FALSE(store->findVolume("A", 7, 9));
    EXPECT_FALSE(store->findVolume("A", 8, 8));

    // They outlast the store object, and serials keep growing.
    store.reset();
    store = open();
    EXPECT_EQ(store->find("A", *volume, 2), written(sampleRecord(2), serial));
    EXPECT_EQ(store->stats().entries, 3u);
    EXPECT_GT(store->startScan(), serial);
}

TEST_F(VerdictStoreTest, AWriteUnderAnotherFingerprintEmptiesTheStoreFirst) {
    auto store = open();
    ASSERT_FALSE(
        store->write("A", store->startScan(), std::vector{entry(7, 8, 5, sampleRecord(5))}));
    const auto old = store->findVolume("A", 7, 8);
    ASSERT_TRUE(old);
    ASSERT_FALSE(
        store->write("B", store->startScan(), std::vector{entry(1, 2, 99, sampleRecord(9))}));
    EXPECT_FALSE(store->findVolume("A", 7, 8));
    EXPECT_FALSE(store->find("A", *old, 5));
    // Volumes are numbered anew, so B's first volume may carry the old number: A's entry is gone
    // all the same.
    const auto current = store->findVolume("B", 1, 2);
    ASSERT_TRUE(current);
    EXPECT_FALSE(store->find("B", *current, 5));
    EXPECT_FALSE(store->findVolume("B", 7, 8));
    EXPECT_TRUE(store->find("B", *current, 99));
    EXPECT_EQ(store->stats().entries, 1u);
}

TEST_F(VerdictStoreTest, VolumesAreNumberedPerFileSystemAndDevice) {
    auto store = open();
    // The same inode on three volumes that share a file system id or a device.
    const std::vector<PendingVerdict> first = {entry(1, 1, 42, sampleRecord(11)),
                                               entry(1, 2, 42, sampleRecord(12)),
                                               entry(2, 1, 42, sampleRecord(21))};
    const std::uint32_t serial = store->startScan();
    ASSERT_FALSE(store->write("A", serial, first));
    std::map<std::uint32_t, VerdictRecord> byNumber;
    for (const PendingVerdict& pending : first) {
        const auto number = store->findVolume("A", pending.volumeId, pending.device);
        ASSERT_TRUE(number);
        byNumber.emplace(*number, pending.record);
        EXPECT_EQ(store->find("A", *number, 42), written(pending.record, serial));
    }
    EXPECT_EQ(byNumber.size(), 3u);

    const auto before = store->findVolume("A", 1, 2);
    const std::uint32_t later = store->startScan();
    ASSERT_FALSE(store->write(
        "A", later,
        std::vector{entry(3, 3, 42, sampleRecord(33)), entry(1, 2, 43, sampleRecord(13))}));
    EXPECT_EQ(store->findVolume("A", 1, 2), before);
    const auto added = store->findVolume("A", 3, 3);
    ASSERT_TRUE(added);
    EXPECT_FALSE(byNumber.contains(*added));
    EXPECT_EQ(store->find("A", *before, 43), written(sampleRecord(13), later));
    EXPECT_EQ(store->find("A", *before, 42), written(sampleRecord(12), serial));
}

TEST_F(VerdictStoreTest, StatsCountEntriesAndTheLastScanUntilCleared) {
    auto store = open();
    std::vector<PendingVerdict> pending;
    for (std::uint32_t n = 0; n < 50; ++n) {
        pending.push_back(entry(4, 4, n, sampleRecord(n)));
    }
    ASSERT_FALSE(store->write("A", store->startScan(), pending));
    ASSERT_FALSE(store->recordScan(70, 20));
    VerdictStoreStats stats = store->stats();
    EXPECT_EQ(stats.entries, 50u);
    EXPECT_EQ(stats.lastChecked, 70u);
    EXPECT_EQ(stats.lastHits, 20u);

    ASSERT_FALSE(store->clear());
    stats = store->stats();
    EXPECT_EQ(stats.entries, 0u);
    EXPECT_FALSE(stats.lastChecked);
    EXPECT_FALSE(stats.lastHits);
    EXPECT_FALSE(store->findVolume("A", 4, 4));

    // A cleared store takes new entries under the fingerprint it had.
    const std::uint32_t serial = store->startScan();
    ASSERT_FALSE(store->write("A", serial, std::vector{pending[3]}));
    const auto volume = store->findVolume("A", 4, 4);
    ASSERT_TRUE(volume);
    EXPECT_EQ(store->find("A", *volume, 3), written(sampleRecord(3), serial));
    EXPECT_EQ(store->stats().entries, 1u);
}

TEST_F(VerdictStoreTest, AFullStoreDropsTheOldestScansFirst) {
    constexpr std::uint64_t kLimit = 1 << 20;
    constexpr std::uint32_t kPerScan = 500;
    constexpr std::uint32_t kScans = 60; // several times what the limit holds
    auto store = open(kLimit);
    std::vector<std::uint32_t> serials;
    std::optional<std::uint32_t> volume;
    std::uint64_t entries = 0;
    for (std::uint32_t scan = 0; scan < kScans; ++scan) {
        SCOPED_TRACE(scan);
        serials.push_back(store->startScan());
        std::vector<PendingVerdict> pending;
        for (std::uint32_t i = 0; i < kPerScan; ++i) {
            pending.push_back(entry(1, 1, scan * kPerScan + i, sampleRecord(i)));
        }
        ASSERT_FALSE(store->write("A", serials.back(), pending));
        // Room is made by dropping some of the entries, not most of them.
        const VerdictStoreStats stats = store->stats();
        EXPECT_GE(stats.entries * 2, entries);
        entries = stats.entries;
        ASSERT_LE(stats.bytes, kLimit);
        ASSERT_LE(std::filesystem::file_size(storePath()), kLimit);
        volume = store->findVolume("A", 1, 1);
        ASSERT_TRUE(volume);
        for (std::uint32_t i = 0; i < kPerScan; ++i) {
            ASSERT_TRUE(store->find("A", *volume, scan * kPerScan + i)) << i;
        }
    }
    std::vector<std::uint32_t> present(kScans, 0);
    std::uint64_t total = 0;
    for (std::uint32_t scan = 0; scan < kScans; ++scan) {
        for (std::uint32_t i = 0; i < kPerScan; ++i) {
            if (const auto found = store->find("A", *volume, scan * kPerScan + i)) {
                EXPECT_EQ(*found, written(sampleRecord(i), serials[scan]));
                ++present[scan];
                ++total;
            }
        }
    }
    EXPECT_EQ(total, store->stats().entries);
    // What is left is the newest scans: after the oldest scan with an entry left (which may
    // have lost some), every scan is whole.
    std::uint32_t oldest = 0;
    while (oldest < kScans && present[oldest] == 0) {
        ++oldest;
    }
    EXPECT_GT(oldest, 0u);
    for (std::uint32_t scan = oldest + 1; scan < kScans; ++scan) {
        EXPECT_EQ(present[scan], kPerScan) << "scan " << scan;
    }
}

TEST_F(VerdictStoreTest, StoreFilesOthersMayChangeAreRefused) {
    ASSERT_TRUE(open());
    for (const std::string suffix : {"", "-lock"}) {
        for (const mode_t mode : {0666, 0620, 0602}) {
            SCOPED_TRACE(suffix + " " + std::to_string(mode));
            const std::string file = storePath() + suffix;
            ASSERT_EQ(::chmod(file.c_str(), mode), 0);
            EXPECT_EQ(refusal(), CacheError::OpenToOthers);
            ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
        }
    }
    EXPECT_TRUE(open());
}

TEST_F(VerdictStoreTest, StoreFilesOfAnotherUserAreRefused) {
    if (!platform::runningAsRoot()) {
        GTEST_SKIP() << "only root can give a file to another user";
    }
    ASSERT_TRUE(open());
    for (const std::string suffix : {"", "-lock"}) {
        SCOPED_TRACE(suffix);
        const std::string file = storePath() + suffix;
        ASSERT_EQ(::chown(file.c_str(), 12345, 12345), 0);
        EXPECT_EQ(refusal(), CacheError::ForeignOwner);
        ASSERT_EQ(::chown(file.c_str(), ::geteuid(), ::getegid()), 0);
    }
}

TEST_F(VerdictStoreTest, ALinkOrAFolderInPlaceOfTheStoreIsRefused) {
    const std::string elsewhere = path("elsewhere.lmdb");
    testsupport::writeFile(elsewhere, "not to be touched");
    ASSERT_EQ(::symlink(elsewhere.c_str(), storePath().c_str()), 0);
    EXPECT_EQ(refusal(), CacheError::NotAFile);
    EXPECT_EQ(testsupport::readFile(elsewhere), "not to be touched");

    ASSERT_EQ(::unlink(storePath().c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), (storePath() + "-lock").c_str()), 0);
    EXPECT_EQ(refusal(), CacheError::NotAFile);
    ASSERT_EQ(::unlink((storePath() + "-lock").c_str()), 0);

    ASSERT_EQ(::mkdir(storePath().c_str(), 0700), 0);
    EXPECT_EQ(refusal(), CacheError::NotAFile);
}

} // namespace
