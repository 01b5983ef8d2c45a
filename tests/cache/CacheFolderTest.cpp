#include "cache/CacheFolder.h"

#include "cache/CacheError.h"
#include "platform/FileFacts.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/Unprivileged.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CacheFolderTest : public ::testing::Test {
protected:
    std::string path(const std::string& relative) const { return m_dir.file(relative); }

    /// A folder with exactly `mode`, whatever the umask.
    std::string folderWithMode(const std::string& name, mode_t mode) const {
        const std::string made = path(name);
        EXPECT_EQ(::mkdir(made.c_str(), 0700), 0);
        EXPECT_EQ(::chmod(made.c_str(), mode), 0);
        return made;
    }

    static std::error_code openFolder(const std::string& path) {
        platform::FolderHandle folder;
        return OpenCacheFolder(path, folder);
    }

private:
    testsupport::TempDir m_dir;
};

TEST_F(CacheFolderTest, AMissingFolderIsMadeForItsOwnerOnlyWithItsParents) {
    const std::string made = path("a/b/kesto");
    platform::FolderHandle folder;
    ASSERT_FALSE(OpenCacheFolder(made, folder));
    ASSERT_TRUE(folder.isOpen());
    struct stat info {};
    ASSERT_EQ(::lstat(made.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(folder.id().inode, info.st_ino);
    EXPECT_EQ(folder.id().device, info.st_dev);
    // Opening it again finds it as it was left.
    EXPECT_FALSE(openFolder(made));
}

TEST_F(CacheFolderTest, FoldersOthersMayChangeAreRefused) {
    EXPECT_EQ(openFolder(folderWithMode("open", 0777)), CacheError::OpenToOthers);
    EXPECT_EQ(openFolder(folderWithMode("group", 0770)), CacheError::OpenToOthers);
    EXPECT_EQ(openFolder(folderWithMode("others", 0703)), CacheError::OpenToOthers);
    // Others may read it; that changes nothing in it.
    EXPECT_FALSE(openFolder(folderWithMode("readable", 0755)));
}

TEST_F(CacheFolderTest, ALinkOrAFileInPlaceOfTheFolderIsRefused) {
    const std::string real = folderWithMode("real", 0700);
    ASSERT_EQ(::symlink(real.c_str(), path("link").c_str()), 0);
    EXPECT_EQ(openFolder(path("link")), CacheError::NotAFile);
    testsupport::writeFile(path("file"), "");
    EXPECT_EQ(openFolder(path("file")), CacheError::NotAFile);
    EXPECT_EQ(openFolder(""), CacheError::NoFolder);
}

TEST_F(CacheFolderTest, AFolderOfAnotherUserIsRefused) {
    if (!platform::runningAsRoot()) {
        GTEST_SKIP() << "only root can give a folder to another user";
    }
    const std::string foreign = folderWithMode("foreign", 0700);
    ASSERT_EQ(::chown(foreign.c_str(), 12345, 12345), 0);
    EXPECT_EQ(openFolder(foreign), CacheError::ForeignOwner);
}

TEST_F(CacheFolderTest, TheDefaultFolderIsReplaceableAndRootIgnoresTheEnvironment) {
    const std::string replaced = ExchangeDefaultCacheFolder(path("replacement"));
    EXPECT_EQ(DefaultCacheFolder(), path("replacement"));
    EXPECT_EQ(ExchangeDefaultCacheFolder(replaced), path("replacement"));

    const char* old = std::getenv("XDG_CACHE_HOME");
    const std::string kept = old != nullptr ? old : "";
    ::setenv("XDG_CACHE_HOME", path("xdg").c_str(), 1);
    const int status = testsupport::runUnprivileged(
        [this] { return DefaultCacheFolder() == path("xdg") + "/kesto" ? 0 : 1; });
    EXPECT_EQ(status, 0);
    // A user's variable (kept through sudo, say) never moves root's cache.
    if (platform::runningAsRoot()) {
        EXPECT_EQ(DefaultCacheFolder(), "/var/cache/kesto");
    }
    if (old != nullptr) {
        ::setenv("XDG_CACHE_HOME", kept.c_str(), 1);
    } else {
        ::unsetenv("XDG_CACHE_HOME");
    }
}

} // namespace
