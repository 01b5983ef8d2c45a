#include "scanner/FolderWalk.h"

#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
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

TEST(FolderWalk, ExcludedFilesAreSkippedAndExcludedFoldersNeverEntered) {
    TempDir dir;
    for (const char* path : {"a.tmp", "b.txt", "build/z", "node_modules/x", "src/c.tmp",
                             "src/build/w", "src/keep/c.tmp", "src/node_modules/y"}) {
        writeFile(dir.file(path), "data");
    }
    Exclusions exclusions;
    exclusions.addFileGlob("src/*.tmp");       // "*" stops at "/": src/keep/c.tmp stays
    exclusions.addFolderGlob("node_modules/"); // any depth
    exclusions.addFolderGlob("/build");        // only below the root itself
    std::vector<std::string> entered;
    FolderWalk walker(
        dir.path(), false, [] { return false; }, {},
        [&](const std::string& folder) { entered.push_back(folder.substr(dir.path().size())); },
        &exclusions);
    std::vector<std::string> files;
    WalkedFile file;
    while (walker.next(file)) {
        files.push_back(file.folder.substr(dir.path().size()) + file.name);
    }
    EXPECT_EQ(files,
              (std::vector<std::string>{"/a.tmp", "/b.txt", "/src/build/w", "/src/keep/c.tmp"}));
    EXPECT_EQ(entered, (std::vector<std::string>{"/src/", "/src/build/", "/src/keep/"}));
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

namespace {

/// Makes `depth` nested folders named `name` below `root` one level at a time (the whole path
/// may be far longer than the path limit) and writes `leaf` with `content` at the bottom.
void makeDeepTree(const std::string& root, int depth, const char* name, const char* leaf) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        ::mkdirat(fd, name, 0755);
        const int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    const int file = ::openat(fd, leaf, O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "x", 1), 1);
    ::close(file);
    ::close(fd);
}

/// Lowers the descriptor limit while it lives.
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = limit;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;

private:
    rlimit m_saved{};
};

} // namespace

TEST(FolderWalk, FolderSwappedForALinkDuringTheWalkIsNeverEntered) {
    TempDir dir;
    writeFile(dir.file("a/e.com"), "x");
    std::filesystem::create_directories(dir.file("z"));
    writeFile(dir.file("outside/victim.com"), "x");
    WalkResult result;
    FolderWalk walker(
        dir.path(), true, [] { return false; },
        [&](const std::string& folder, std::error_code) {
            result.errors.push_back(folder.substr(dir.path().size()));
        },
        [&](const std::string& folder) {
            if (folder == dir.file("z/")) {
                std::filesystem::remove(dir.file("z"));
                std::filesystem::create_directory_symlink(dir.file("outside"), dir.file("z"));
            }
        });
    WalkedFile file;
    while (walker.next(file)) {
        result.files.push_back(file.folder.substr(dir.path().size()) + file.name);
    }
    EXPECT_EQ(result.files, (std::vector<std::string>{"/a/e.com", "/outside/victim.com"}));
    EXPECT_EQ(result.errors, std::vector<std::string>{"/z/"});
}

TEST(FolderWalk, TreesBeyondThePathLimitAndTheDescriptorLimit) {
    TempDir dir;
    // 3,000 levels of "dd/" make a path of over 9,000 bytes.
    makeDeepTree(dir.path(), 3000, "dd", "bottom.com");
    const DescriptorLimit limit(128);
    const WalkResult result = walk(dir.path());
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_GT(result.files[0].size(), 9000u);
    EXPECT_TRUE(result.files[0].ends_with("/dd/bottom.com"));
    EXPECT_TRUE(result.errors.empty());
}

TEST(FolderWalk, ComesBackToFoldersWhoseDescriptorsWereClosed) {
    TempDir dir;
    // Every level holds a deeper "a" first and a "b" with one file, visited after all of "a".
    std::string path = dir.path();
    std::vector<std::string> expected;
    for (int level = 0; level < 150; ++level) {
        writeFile(path + "/b/f", "x");
        expected.push_back(path.substr(dir.path().size()) + "/b/f");
        path += "/a";
    }
    std::filesystem::create_directories(path);
    std::reverse(expected.begin(), expected.end());
    const DescriptorLimit limit(128);
    const WalkResult result = walk(dir.path());
    EXPECT_EQ(result.files, expected);
    EXPECT_TRUE(result.errors.empty());
}

TEST(FolderWalk, ReopenedFolderMustStillBeTheOneEntered) {
    TempDir dir;
    std::string path = dir.path() + "/top";
    for (int level = 0; level < 100; ++level) {
        path += "/a";
    }
    writeFile(path + "/deep", "x");
    writeFile(dir.file("top/b/later"), "x");
    writeFile(dir.file("zzz/b/other"), "x");
    std::vector<std::string> files;
    std::vector<std::string> errors;
    bool swapped = false;
    FolderWalk walker(
        dir.path(), true, [] { return false; },
        [&](const std::string& folder, std::error_code) {
            errors.push_back(folder.substr(dir.path().size()));
        });
    WalkedFile file;
    while (walker.next(file)) {
        files.push_back(file.name);
        if (file.name == "deep" && !swapped) {
            // While the descriptor of "top" is closed, it is replaced by another folder and its
            // first subfolder moved away, so ".." no longer leads back to it and the walk must
            // go down by name again.
            std::filesystem::rename(dir.file("top"), dir.file("moved"));
            std::filesystem::rename(dir.file("moved/a"), dir.file("gone"));
            std::filesystem::rename(dir.file("zzz"), dir.file("top"));
            swapped = true;
        }
    }
    EXPECT_EQ(files, (std::vector<std::string>{"deep"}));
    EXPECT_EQ(errors, (std::vector<std::string>{"/top/", "/zzz/"}));
}
