#include "StoreFolder.h"
#include "cache/VerdictStore.h"
#include "testsupport/SampleFiles.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using cachetest::entry;
using cachetest::sampleRecord;
using testsupport::readFile;
using testsupport::writeFile;

class VerdictStoreDamageTest : public cachetest::StoreFolder {
protected:
    std::string damagedPath() const { return storePath() + ".damaged"; }

    /// A store with `count` entries on the volume (1, 1), inodes 0 to count - 1.
    void fill(std::uint32_t count) {
        auto store = open();
        ASSERT_TRUE(store);
        std::vector<PendingVerdict> pending;
        for (std::uint32_t n = 0; n < count; ++n) {
            pending.push_back(entry(1, 1, n, sampleRecord(n)));
        }
        ASSERT_FALSE(store->write("A", store->startScan(), pending));
    }
};

void overwrite(const std::string& path, off_t at, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

TEST_F(VerdictStoreDamageTest, ADamagedStoreIsSetAsideAndMadeAnew) {
    const auto pageSize = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::vector<std::pair<std::string, std::function<void(const std::string&)>>> damages = {
        {"random bytes",
         [](const std::string& file) { writeFile(file, testsupport::randomBytes(1 << 16, 7)); }},
        {"cut to half its length",
         [](const std::string& file) {
             ASSERT_EQ(::truncate(file.c_str(), static_cast<off_t>(fs::file_size(file) / 2)), 0);
         }},
        {"header pages zeroed",
         [pageSize](const std::string& file) {
             overwrite(file, 0, std::string(2 * pageSize, '\0'));
         }},
    };
    for (const auto& [what, damage] : damages) {
        SCOPED_TRACE(what);
        fill(3000);
        ASSERT_GT(fs::file_size(storePath()), 16 * pageSize);
        damage(storePath());
        const std::string damaged = readFile(storePath());
        // An earlier damaged store is replaced.
        writeFile(damagedPath(), "set aside before");

        std::string warning;
        std::error_code error;
        auto store = VerdictStore::Open(folder(), VerdictStore::kDefaultLimit, warning, error);
        ASSERT_TRUE(store) << error.message();
        EXPECT_NE(warning, "");
        EXPECT_EQ(readFile(damagedPath()), damaged);
        EXPECT_EQ(store->stats().entries, 0u);
        ASSERT_FALSE(
            store->write("A", store->startScan(), std::vector{entry(1, 1, 5, sampleRecord(5))}));
        store.reset();

        store = open();
        const auto volume = store->findVolume("A", 1, 1);
        ASSERT_TRUE(volume);
        const auto found = store->find("A", *volume, 5);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->stamp, sampleRecord(5).stamp);
        store.reset();
        fs::remove(storePath());
        fs::remove(storePath() + "-lock");
    }
}

TEST_F(VerdictStoreDamageTest, AnEntryDamagedInPlaceIsNeverHandedOutAndTheStoreIsSetAside) {
    VerdictRecord marked;
    marked.stamp = {0x5AFE, 0x7EDCBA9876543210};
    marked.facts = {0xC0FFEEu, true, 0, true};
    std::uint32_t volume = 0;
    {
        auto store = open();
        ASSERT_TRUE(store);
        std::vector<PendingVerdict> pending;
        for (std::uint32_t n = 0; n < 20; ++n) {
            pending.push_back(entry(1, 1, n, n == 7 ? marked : sampleRecord(n)));
        }
        marked.serial = store->startScan();
        ASSERT_FALSE(store->write("A", marked.serial, pending));
        volume = store->findVolume("A", 1, 1).value_or(0);
    }
    // Flip one bit of the stamp of inode 7's value, wherever a copy of it lies in the file.
    const VerdictRecord::Value value = marked.encode();
    const std::string bytes(value.data(), value.size());
    std::string content = readFile(storePath());
    int copies = 0;
    for (auto at = content.find(bytes); at != std::string::npos; at = content.find(bytes, at + 1)) {
        content[at + 10] = static_cast<char>(content[at + 10] ^ 0x10);
        ++copies;
    }
    ASSERT_GE(copies, 1);
    writeFile(storePath(), content);

    // The damage lies inside an entry: opening cannot see it, reading it does.
    auto store = open();
    EXPECT_TRUE(store->find("A", volume, 8));
    EXPECT_FALSE(store->damaged());
    EXPECT_FALSE(store->find("A", volume, 7));
    EXPECT_TRUE(store->damaged());
    EXPECT_FALSE(store->find("A", volume, 8));
    store.reset();
    EXPECT_EQ(readFile(damagedPath()), content);
    EXPECT_FALSE(fs::exists(storePath()));
    EXPECT_EQ(open()->stats().entries, 0u);
}

// The writing child's batches: every entry of a batch carries its serial in inode and stamp.
constexpr std::uint32_t kBatch = 32;

VerdictRecord batchRecord(std::uint32_t serial, std::uint32_t i) {
    VerdictRecord record = sampleRecord(i);
    record.stamp = {serial, std::int64_t{serial} * 1000 + i};
    record.serial = serial;
    return record;
}

/// Writes batches into the store in `folder` until killed, reporting each serial written.
[[noreturn]] void writeForever(const platform::FolderHandle& folder, int report) {
    std::string warning;
    std::error_code error;
    const auto store = VerdictStore::Open(folder, VerdictStore::kDefaultLimit, warning, error);
    if (!store || !warning.empty()) {
        ::_exit(1);
    }
    for (;;) {
        const std::uint32_t serial = store->startScan();
        std::vector<PendingVerdict> batch;
        for (std::uint32_t i = 0; i < kBatch; ++i) {
            batch.push_back(
                entry(1, 1, std::uint64_t{serial} * kBatch + i, batchRecord(serial, i)));
        }
        if (store->write("A", serial, batch) ||
            ::write(report, &serial, sizeof serial) != sizeof serial) {
            ::_exit(2);
        }
    }
}

TEST_F(VerdictStoreDamageTest, AWriterKilledAtAnyMomentLeavesWholeBatchesOnly) {
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(5, 50);
    std::set<std::uint32_t> reported; // batches the writer finished before it was killed
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipe[0]);
            writeForever(folder(), pipe[1]);
        }
        ::close(pipe[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the writer ended with " << WEXITSTATUS(status);
        std::uint32_t serial = 0;
        while (::read(pipe[0], &serial, sizeof serial) == sizeof serial) {
            reported.insert(serial);
        }
        ::close(pipe[0]);

        auto store = open();
        ASSERT_TRUE(store);
        const std::uint32_t next = store->startScan(); // above every serial handed out
        const auto volume = store->findVolume("A", 1, 1);
        if (!volume) {
            ASSERT_TRUE(reported.empty());
            continue;
        }
        std::uint64_t found = 0;
        for (std::uint32_t batch = 1; batch < next; ++batch) {
            std::uint32_t present = 0;
            for (std::uint32_t i = 0; i < kBatch; ++i) {
                if (const auto record =
                        store->find("A", *volume, std::uint64_t{batch} * kBatch + i)) {
                    EXPECT_EQ(*record, batchRecord(batch, i));
                    ++present;
                }
            }
            EXPECT_EQ(present, (reported.contains(batch) || present != 0) ? kBatch : 0) << batch;
            found += present;
        }
        EXPECT_EQ(found, store->stats().entries);
        EXPECT_FALSE(store->damaged());
    }
    EXPECT_FALSE(reported.empty());
}

} // namespace
