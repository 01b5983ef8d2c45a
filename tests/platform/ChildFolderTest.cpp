#include "platform/ChildFolder.h"

#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class ChildFolder : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    platform::FolderHandle parent;

    void SetUp() override { ASSERT_FALSE(parent.openPath(dir.path())); }
};

} // namespace

TEST_F(ChildFolder, MakesAFolderWithTheModeLessTheUmaskThatOpensAsAChild) {
    const mode_t old = ::umask(022);
    const std::error_code made = platform::makeChildFolder(parent, "made", 0775);
    ::umask(old);
    ASSERT_FALSE(made) << made.message();
    struct stat info {};
    ASSERT_EQ(::lstat(dir.file("made").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0755U);
    platform::FolderHandle child;
    EXPECT_FALSE(child.openChild(parent, "made"));
}

TEST_F(ChildFolder, ATakenNameIsFileExistsAndStaysAsItWas) {
    testsupport::writeFile(dir.file("file"), "content");
    std::filesystem::create_directory(dir.file("folder"));
    std::filesystem::create_symlink(dir.file("elsewhere"), dir.file("link"));
    for (const char* name : {"file", "folder", "link"}) {
        EXPECT_EQ(platform::makeChildFolder(parent, name, 0755), std::errc::file_exists) << name;
    }
    EXPECT_EQ(testsupport::readFile(dir.file("file")), "content");
    // The link's target is never made.
    EXPECT_FALSE(std::filesystem::exists(dir.file("elsewhere")));
}

TEST_F(ChildFolder, ANameThatIsNotOneComponentIsRefusedAndNothingIsMade) {
    std::filesystem::create_directory(dir.file("sub"));
    for (const char* name : {"", ".", "..", "sub/deeper", "/tmp/absolute"}) {
        EXPECT_EQ(platform::makeChildFolder(parent, name, 0755), std::errc::invalid_argument)
            << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("sub/deeper")));
}

TEST_F(ChildFolder, AClosedParentFailsAndMakesNothing) {
    platform::FolderHandle closed;
    EXPECT_TRUE(platform::makeChildFolder(closed, "made", 0755));
    EXPECT_FALSE(std::filesystem::exists(dir.file("made")));
}
