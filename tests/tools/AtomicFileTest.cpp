#include "platform/AtomicFile.h"

#include "platform/AtomicReplaceParts.h"
#include "platform/ScopedSeam.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

/// Lets `budget` bytes through, then fails every write with ENOSPC.
class FailingWriter {
public:
    explicit FailingWriter(std::size_t budget)
        : m_seam(platform::setWriteCall,
                 [this, budget](int fd, const void* data, std::size_t size) {
                     if (m_written >= budget) {
                         errno = ENOSPC;
                         return ssize_t{-1};
                     }
                     const std::size_t allowed = std::min(size, budget - m_written);
                     const ssize_t written = ::write(fd, data, allowed);
                     m_written += written > 0 ? static_cast<std::size_t>(written) : 0;
                     return written;
                 }) {}

private:
    std::size_t m_written = 0;
    const platform::ScopedSeam<platform::WriteCall> m_seam;
};

std::size_t entriesIn(const std::string& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

} // namespace

TEST(AtomicFile, ReplacesContentAndKeepsTheTargetsMode) {
    TempDir dir;
    writeFile(dir.file("rule"), "old");
    ASSERT_EQ(chmod(dir.file("rule").c_str(), 0640), 0);
    ASSERT_FALSE(platform::replaceFile(dir.file("rule"), "new content", 0600));
    EXPECT_EQ(readFile(dir.file("rule")), "new content");
    struct stat info {};
    ASSERT_EQ(stat(dir.file("rule").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640U);
    EXPECT_EQ(entriesIn(dir.path()), 1U);

    ASSERT_FALSE(platform::replaceFile(dir.file("fresh"), "x", 0604));
    ASSERT_EQ(stat(dir.file("fresh").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604U);
}

TEST(AtomicFile, AWriteThatFailsAfterNBytesLeavesTheTargetAndNoTemporary) {
    const std::string content = testsupport::noise(200000);
    for (const std::size_t budget :
         {std::size_t{0}, std::size_t{1}, std::size_t{65536}, content.size() - 1}) {
        TempDir dir;
        writeFile(dir.file("target"), "the old bytes");
        {
            FailingWriter failing(budget);
            EXPECT_EQ(platform::replaceFile(dir.file("target"), content, 0644),
                      std::errc::no_space_on_device)
                << budget;
        }
        EXPECT_EQ(readFile(dir.file("target")), "the old bytes") << budget;
        EXPECT_EQ(entriesIn(dir.path()), 1U) << budget;
    }
}

TEST(AtomicFile, AnAbandonedReplacementRemovesItsTemporary) {
    TempDir dir;
    writeFile(dir.file("target"), "kept");
    platform::FolderHandle folder;
    ASSERT_FALSE(folder.openPath(dir.path()));
    {
        platform::AtomicReplacement replacement;
        ASSERT_FALSE(replacement.begin(folder, "target", 0644));
        ASSERT_FALSE(replacement.write("partial", 7));
        EXPECT_EQ(entriesIn(dir.path()), 2U);
    }
    EXPECT_EQ(readFile(dir.file("target")), "kept");
    EXPECT_EQ(entriesIn(dir.path()), 1U);
}

TEST(AtomicFile, RefusesNamesThatLeaveTheFolderAndTargetsThatAreNotFiles) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    ASSERT_EQ(symlink("sub", dir.file("link").c_str()), 0);
    platform::FolderHandle folder;
    ASSERT_FALSE(folder.openPath(dir.path()));
    for (const char* name : {"", ".", "..", "a/b", "sub", "link"}) {
        EXPECT_TRUE(platform::replaceFileIn(folder, name, "x", 0644)) << name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("sub")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
    EXPECT_EQ(entriesIn(dir.path()), 2U);
}

TEST(AtomicFile, ACheckThatFailsBeforeTheRenameLeavesTheTargetAndNoTemporary) {
    TempDir dir;
    writeFile(dir.file("rule"), "old");
    platform::FolderHandle folder;
    ASSERT_FALSE(folder.openPath(dir.path()));
    platform::AtomicReplacement replacement;
    ASSERT_FALSE(replacement.begin(folder, "rule", 0600));
    ASSERT_FALSE(replacement.write("new", 3));
    bool asked = false;
    EXPECT_EQ(replacement.commit([&] {
        asked = true;
        // The new content is complete and on the disk by now.
        EXPECT_EQ(readFile(dir.file(replacement.temporaryName())), "new");
        return std::make_error_code(std::errc::operation_canceled);
    }),
              std::errc::operation_canceled);
    EXPECT_TRUE(asked);
    EXPECT_EQ(readFile(dir.file("rule")), "old");
    EXPECT_EQ(entriesIn(dir.path()), 1U);
}

TEST(AtomicFile, TemporaryNamesAreKnownByTheirFormOnly) {
    using platform::detail::isTemporaryNameFor;
    using platform::detail::temporaryNameFor;
    std::array<unsigned char, 12> random{};
    for (int round = 0; round < 40; ++round) {
        for (std::size_t i = 0; i < random.size(); ++i) {
            random[i] = static_cast<unsigned char>(round * 37 + i * 11);
        }
        EXPECT_TRUE(isTemporaryNameFor(temporaryNameFor("data.bin", random), "data.bin"));
        const std::string longName(300, 'n');
        EXPECT_TRUE(isTemporaryNameFor(temporaryNameFor(longName, random), longName));
    }
    for (const char* other :
         {"data.bin", ".data.bin..tmp", ".data.bin.abcdefghijkl.tmp.x", ".data.bin.abcdefghijk.tmp",
          ".data.bin.abcdefghijklm.tmp", ".data.bin.abcdefghijk_.tmp", ".data.bin.Abcdefghijkl.tmp",
          ".data.bi.abcdefghijkl.tmp", "..data.bin.abcdefghijkl.tmp"}) {
        EXPECT_FALSE(isTemporaryNameFor(other, "data.bin")) << other;
    }
}
