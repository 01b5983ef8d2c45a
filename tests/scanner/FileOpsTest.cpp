#include "platform/FileOps.h"

#include "platform/InputFile.h"
#include "platform/ReadBuffer.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

platform::FolderHandle folderOf(const std::string& path) {
    platform::FolderHandle folder;
    folder.openPath(path.substr(0, path.rfind('/')));
    return folder;
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::error_code makeNormal(const std::string& path) {
    return platform::makeNormal(folderOf(path), nameOf(path));
}

std::error_code deleteFile(const std::string& path) {
    return platform::deleteFile(folderOf(path), nameOf(path));
}

std::error_code moveFileNoReplace(const std::string& source, const std::string& target) {
    return platform::moveFileNoReplace(folderOf(source), nameOf(source), folderOf(target),
                                       nameOf(target));
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(FileOps, MakeNormalAddsOwnerWritePermissionOnly) {
    TempDir dir;
    writeFile(dir.file("f"), "x");
    ::chmod(dir.file("f").c_str(), 0444);
    EXPECT_FALSE(makeNormal(dir.file("f")));
    EXPECT_EQ(modeOf(dir.file("f")), 0644u);
    EXPECT_TRUE(makeNormal(dir.file("missing")));
}

TEST(FileOps, DeleteFileNeverRemovesAFolder) {
    TempDir dir;
    fs::create_directory(dir.file("folder"));
    EXPECT_TRUE(deleteFile(dir.file("folder")));
    EXPECT_TRUE(fs::is_directory(dir.file("folder")));
    writeFile(dir.file("f"), "x");
    EXPECT_FALSE(deleteFile(dir.file("f")));
    EXPECT_FALSE(fs::exists(dir.file("f")));
}

TEST(FileOps, MoveNeverReplacesAnExistingTarget) {
    TempDir dir;
    writeFile(dir.file("a"), "a");
    writeFile(dir.file("b"), "b");
    EXPECT_EQ(moveFileNoReplace(dir.file("a"), dir.file("b")), std::errc::file_exists);
    EXPECT_EQ(testsupport::readFile(dir.file("a")), "a");
    EXPECT_EQ(testsupport::readFile(dir.file("b")), "b");
    EXPECT_FALSE(moveFileNoReplace(dir.file("a"), dir.file("c")));
    EXPECT_FALSE(fs::exists(dir.file("a")));
    EXPECT_EQ(testsupport::readFile(dir.file("c")), "a");
}

/// A temporary folder in /dev/shm, when that is another file system than the usual one.
class FileOpsAcrossFileSystems : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = "/dev/shm/kesto-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_other = pattern;
        }
        struct stat here {};
        struct stat there {};
        if (m_other.empty() || ::stat(m_here.path().c_str(), &here) != 0 ||
            ::stat(m_other.c_str(), &there) != 0 || here.st_dev == there.st_dev) {
            GTEST_SKIP() << "/dev/shm is not a separate file system from " << m_here.path();
        }
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_other, ec);
    }
    std::string other(const std::string& name) const { return m_other + "/" + name; }

    TempDir m_here;
    std::string m_other;
};

TEST_F(FileOpsAcrossFileSystems, MoveCopiesThenRemovesTheSource) {
    // Larger than one copy buffer, with set-user-id that a quarantined copy must not keep.
    const std::string bytes = testsupport::randomBytes(3 * 1024 * 1024 + 17);
    const std::string source = m_here.file("prog");
    writeFile(source, bytes);
    ::chmod(source.c_str(), 04750);
    const std::string target = other("prog_vir");

    EXPECT_FALSE(moveFileNoReplace(source, target));
    EXPECT_FALSE(fs::exists(source));
    EXPECT_TRUE(testsupport::readFile(target) == bytes);
    EXPECT_EQ(modeOf(target), 0750u);

    writeFile(source, "again");
    EXPECT_EQ(moveFileNoReplace(source, target), std::errc::file_exists);
    EXPECT_EQ(testsupport::readFile(source), "again");
    EXPECT_TRUE(testsupport::readFile(target) == bytes);
}

TEST_F(FileOpsAcrossFileSystems, FailedCopyLeavesTheSourceAndNoTarget) {
    const std::string bytes = testsupport::randomBytes(256 * 1024);
    const std::string source = m_here.file("prog");
    writeFile(source, bytes);
    const std::string target = other("prog_vir");

    // A file size limit makes the write fail part way (root is bound by it too).
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const std::error_code ec = moveFileNoReplace(source, target);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(ec, std::errc::file_too_large);
    EXPECT_TRUE(testsupport::readFile(source) == bytes);
    EXPECT_FALSE(fs::exists(target));
}

} // namespace

TEST(FileOps, ReadWholeFileRefusesFilesAboveItsLimit) {
    TempDir dir;
    writeFile(dir.file("ten"), "0123456789");
    std::string content = "previous";
    EXPECT_FALSE(platform::readWholeFile(dir.file("ten"), content, platform::Follow::Symlinks, 10));
    EXPECT_EQ(content, "0123456789");
    EXPECT_EQ(platform::readWholeFile(dir.file("ten"), content, platform::Follow::Symlinks, 9),
              std::errc::file_too_large);
    EXPECT_TRUE(content.empty());
    // A file that reports no length (as kernel files do) is still stopped at the limit.
    EXPECT_EQ(platform::readWholeFile("/proc/self/maps", content, platform::Follow::Symlinks, 16),
              std::errc::file_too_large);
    EXPECT_FALSE(platform::readWholeFile("/proc/self/maps", content));
    EXPECT_FALSE(content.empty());
}

TEST(FileOps, ReadBufferKeepsItsLimitAndTellsReadsFromTheDisk) {
    TempDir dir;
    const std::string path = dir.file("data");
    const std::string content = testsupport::noise(300'000, 7);
    writeFile(path, content);
    const platform::FolderHandle folder = folderOf(path);
    platform::ReadBuffer buffer;

    // A file that grew past the limit after it was opened is too large, even where the buffer
    // has room for it.
    platform::InputFile growing;
    ASSERT_FALSE(growing.openAt(folder.fd(), "data"));
    std::ofstream(path, std::ios::app) << "grown";
    EXPECT_EQ(buffer.readOpenFile(growing, content.size() + 2), std::errc::file_too_large);
    EXPECT_TRUE(buffer.view().empty());
    writeFile(path, content);

    // Written out and dropped from memory, the file is read from the disk.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
    platform::InputFile cold;
    ASSERT_FALSE(cold.openAt(folder.fd(), "data"));
    if (cold.startCached()) {
        GTEST_SKIP() << "the file system keeps the file in memory";
    }
    ASSERT_FALSE(buffer.readOpenFile(cold, content.size()));
    EXPECT_TRUE(buffer.waitedForDisk());
    EXPECT_EQ(buffer.view(), content);

    platform::InputFile warm;
    ASSERT_FALSE(warm.openAt(folder.fd(), "data"));
    EXPECT_TRUE(warm.startCached());
    ASSERT_FALSE(buffer.readOpenFile(warm, content.size()));
    EXPECT_FALSE(buffer.waitedForDisk());
    EXPECT_EQ(buffer.view(), content);
}

// Folders the program makes (the rule folder as root, the quarantine folder) are never left
// writable by others, even under a umask that would allow it.
TEST(FileOps, FoldersAreMadeWritableByTheirOwnerOnlyWhateverTheUmask) {
    TempDir dir;
    const mode_t saved = ::umask(0);
    const std::error_code made = platform::createFolders(dir.file("a/b/c"));
    const std::error_code privateMade = platform::createPrivateFolder(dir.file("p/q"));
    ::umask(saved);
    ASSERT_FALSE(made) << made.message();
    ASSERT_FALSE(privateMade) << privateMade.message();
    for (const char* folder : {"a", "a/b", "a/b/c", "p"}) {
        struct stat info {};
        ASSERT_EQ(::stat(dir.file(folder).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0755u) << folder;
    }
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("p/q").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    // An existing folder is fine; a file in the way is not.
    EXPECT_FALSE(platform::createFolders(dir.file("a/b")));
    testsupport::writeFile(dir.file("file"), "x");
    EXPECT_EQ(platform::createFolders(dir.file("file/sub")), std::errc::not_a_directory);
}
