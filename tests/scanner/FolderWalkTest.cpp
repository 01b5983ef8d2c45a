#include "scanner/FolderWalk.h"

#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

struct WalkResult {
    std::vector<std::string> files; // relative to the root
    std::vector<std::string> errors;
};

WalkResult walk(
    const std::string& root, const std::function<bool()>& stop = [] { return false; },
    const std::function<void(FolderWalk&)>& between = {}) {
    WalkResult result;
    FolderWalk walker(root, true, stop, [&](const std::string& folder, std::error_code) {
        result.errors.push_back(folder.substr(root.size()));
    });
    WalkedFile file;
    while (walker.next(file)) {
        result.files.push_back(file.folder.substr(root.size()) + file.name);
        if (between) {
            between(walker);
        }
    }
    return result;
}

} // namespace

TEST(FolderWalk, FilesBeforeSubfoldersDepthFirstInByteOrder) {
    TempDir dir;
    for (const char* path : {"b.txt", "a.txt", "sub1/x", "sub0/y/z", "sub0/w", ".hidden/h", "B"}) {
        writeFile(dir.file(path), "data");
    }
    EXPECT_EQ(walk(dir.path()).files,
              (std::vector<std::string>{"/B", "/a.txt", "/b.txt", "/.hidden/h", "/sub0/w",
                                        "/sub0/y/z", "/sub1/x"}));
}

TEST(FolderWalk, SizesComeWithTheFiles) {
    TempDir dir;
    writeFile(dir.file("five"), "12345");
    FolderWalk walker(dir.path(), true, [] { return false; }, {});
    WalkedFile file;
    ASSERT_TRUE(walker.next(file));
    EXPECT_EQ(file.folder, dir.path() + "/");
    EXPECT_EQ(file.name, "five");
    EXPECT_EQ(file.size, 5u);
    EXPECT_FALSE(walker.next(file));
}

TEST(FolderWalk, SkipsLinksFifosAndDevicesWithoutBlocking) {
    TempDir dir;
    writeFile(dir.file("real"), "x");
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("real", dir.file("link-to-file").c_str()), 0);
    std::filesystem::create_directory(dir.file("loop"));
    ASSERT_EQ(::symlink("..", dir.file("loop/up").c_str()), 0); // a cycle if followed
    const bool haveDevice = ::mknod(dir.file("null").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    const WalkResult result = walk(dir.path());
    EXPECT_EQ(result.files, std::vector<std::string>{"/real"});
    EXPECT_TRUE(result.errors.empty());
    if (!haveDevice) {
        GTEST_SKIP() << "cannot make a device node here; links and FIFOs were checked";
    }
}

TEST(FolderWalk, DeepTreesAndOddNames) {
    TempDir dir;
    std::string deep;
    for (int level = 0; level < 200; ++level) {
        deep += "d/";
    }
    const std::string odd = std::string("new\nline-\xff\xfe-name");
    writeFile(dir.file(deep + "bottom"), "x");
    writeFile(dir.file(odd), "x");
    const WalkResult result = walk(dir.path());
    EXPECT_EQ(result.files, (std::vector<std::string>{"/" + odd, "/" + deep + "bottom"}));
}

TEST(FolderWalk, UnreadableFolderIsReportedAndTheWalkGoesOn) {
    TempDir dir;
    writeFile(dir.file("first"), "x");
    writeFile(dir.file("gone/inside"), "x");
    writeFile(dir.file("kept/inside"), "x");
    // The subfolder disappears after its parent was listed: listing it fails even for root.
    const WalkResult result = walk(
        dir.path(), [] { return false; },
        [&](FolderWalk&) { std::filesystem::remove_all(dir.file("gone")); });
    EXPECT_EQ(result.files, (std::vector<std::string>{"/first", "/kept/inside"}));
    EXPECT_EQ(result.errors, std::vector<std::string>{"/gone/"});
}

TEST(FolderWalk, PermissionDeniedFolderWhenNotRoot) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every folder; the vanished-folder case covers the failure";
    }
    TempDir dir;
    writeFile(dir.file("locked/inside"), "x");
    writeFile(dir.file("open/inside"), "x");
    std::filesystem::permissions(dir.file("locked"), std::filesystem::perms::none);
    const WalkResult result = walk(dir.path());
    EXPECT_EQ(result.files, std::vector<std::string>{"/open/inside"});
    EXPECT_EQ(result.errors, std::vector<std::string>{"/locked/"});
}

TEST(FolderWalk, StopIsTestedAtEachFolderAndBeforeEachFile) {
    TempDir dir;
    for (const char* path : {"a", "b", "c", "sub/d"}) {
        writeFile(dir.file(path), "x");
    }
    EXPECT_TRUE(walk(dir.path(), [] { return true; }).files.empty());
    int polls = 0;
    // Poll 1 opens the root, polls 2 and 3 hand out "a" and "b"; the fourth stops before "c".
    const WalkResult result = walk(dir.path(), [&polls] { return ++polls > 3; });
    EXPECT_EQ(result.files, (std::vector<std::string>{"/a", "/b"}));
}
