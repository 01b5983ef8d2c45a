#include "platform/EntryStamp.h"

#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::writeFile;

TEST(EntryStamp, ALinkHasItsOwnStampNotItsTargets) {
    testsupport::TempDir dir;
    writeFile(dir.file("target"), std::string(5000, 'x'));
    std::filesystem::create_symlink("target", dir.file("link"));
    platform::FileStamp target;
    platform::FileStamp link;
    ASSERT_FALSE(platform::entryStamp(dir.file("target"), target));
    ASSERT_FALSE(platform::entryStamp(dir.file("link"), link));
    EXPECT_EQ(target.size, 5000U);
    EXPECT_EQ(link.size, std::string("target").size());
    EXPECT_NE(link.inode, target.inode);
}

TEST(EntryStamp, AFifoAndAFolderHaveStampsWithoutBeingOpened) {
    testsupport::TempDir dir;
    // Opening a FIFO for reading would wait for a writer; the stamp must come back at once.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    platform::FileStamp fifo;
    EXPECT_FALSE(platform::entryStamp(dir.file("fifo"), fifo));
    platform::FileStamp folder;
    EXPECT_FALSE(platform::entryStamp(dir.path(), folder));
    EXPECT_NE(fifo.inode, folder.inode);
}

TEST(EntryStamp, ARewrittenFileHasAnotherStamp) {
    testsupport::TempDir dir;
    const std::string path = dir.file("file");
    writeFile(path, "one");
    platform::FileStamp before;
    ASSERT_FALSE(platform::entryStamp(path, before));
    std::filesystem::remove(path);
    writeFile(path, "three");
    platform::FileStamp after;
    ASSERT_FALSE(platform::entryStamp(path, after));
    EXPECT_NE(after, before);
    EXPECT_EQ(after.size, 5U);
}

TEST(EntryStamp, AMissingEntryAndAPathThroughAFileFailApart) {
    testsupport::TempDir dir;
    writeFile(dir.file("file"), "x");
    platform::FileStamp stamp;
    EXPECT_EQ(platform::entryStamp(dir.file("missing"), stamp),
              std::errc::no_such_file_or_directory);
    EXPECT_EQ(platform::entryStamp(dir.file("file/below"), stamp), std::errc::not_a_directory);
}
