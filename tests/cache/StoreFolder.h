#pragma once

#include "cache/VerdictStore.h"
#include "platform/FolderHandle.h"
#include "testsupport/TempDir.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <system_error>

namespace cachetest {

/// A record whose every field follows from `n`, so that each `n` gives other bytes.
inline VerdictRecord sampleRecord(std::uint32_t n) {
    VerdictRecord record;
    record.stamp = {1000 + n, 1'700'000'000'500'000'000 + n};
    record.facts.checksum = 0x9E3779B9u * n;
    record.facts.patternsSearched = true;
    record.facts.pattern = static_cast<std::uint16_t>(n % 3);
    record.facts.mayBeRunning = n % 2 == 0;
    return record;
}

inline PendingVerdict entry(std::uint64_t volumeId, std::uint64_t device, std::uint64_t inode,
                            const VerdictRecord& record) {
    return {volumeId, device, inode, record};
}

/// A temporary folder to keep a verdict store in, opened as the cache opens its folder.
class StoreFolder : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_folder.openPath(m_dir.path())); }

    const platform::FolderHandle& folder() const { return m_folder; }
    std::string path(const std::string& name) const { return m_dir.file(name); }
    std::string storePath() const { return path(std::string(VerdictStore::kFileName)); }

    /// Opens the store and expects it to open without a warning.
    std::unique_ptr<VerdictStore> open(std::uint64_t limit = VerdictStore::kDefaultLimit) {
        std::string warning;
        std::error_code error;
        auto store = VerdictStore::Open(m_folder, limit, warning, error);
        EXPECT_TRUE(store) << error.message();
        EXPECT_EQ(warning, "");
        return store;
    }

private:
    testsupport::TempDir m_dir;
    platform::FolderHandle m_folder;
};

} // namespace cachetest
