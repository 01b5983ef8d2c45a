#include "cache/CacheError.h"
#include "cache/CacheFolder.h"
#include "cache/VerdictCache.h"
#include "cache/VerdictStore.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <system_error>

namespace {

TEST(WindowsCacheTest, TheVerdictCacheIsNotAvailable) {
    testsupport::TempDir dir;
    platform::FolderHandle folder;
    EXPECT_EQ(OpenCacheFolder(dir.file("cache"), folder), CacheError::Unavailable);
    EXPECT_EQ(DefaultCacheFolder(), "");

    ASSERT_FALSE(folder.openPath(dir.path()));
    std::string warning;
    std::error_code error;
    EXPECT_FALSE(VerdictStore::Open(folder, VerdictStore::kDefaultLimit, warning, error));
    EXPECT_EQ(error, CacheError::Unavailable);
    // Nothing to warn about where no cache is built.
    warning.clear();
    EXPECT_FALSE(VerdictCache::Open(dir.path(), "fingerprint", warning));
    EXPECT_EQ(warning, "");
}

} // namespace
