#include "scanner/QuarantineFolder.h"

#include "platform/FileFacts.h"
#include "platform/FileOps.h"
#include "scanner/FileCheck.h"
#include "testsupport/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using testsupport::TempDir;

// A home folder reached through a link must still have its quarantine folder skipped by a scan
// of the real folder, whether the quarantine folder exists yet or not.
TEST(QuarantineFolder, ResolvesLinksAsTheScanRootIsResolved) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("real/home"));
    std::filesystem::create_directory_symlink(dir.file("real/home"), dir.file("home"));
    const std::string real = std::filesystem::canonical(dir.file("real/home")).string();

    EXPECT_EQ(ResolveQuarantineFolder(dir.file("home/Karantina")), real + "/Karantina");
    EXPECT_EQ(ResolveQuarantineFolder(dir.file("home/later/Karantina/")),
              real + "/later/Karantina");
    std::filesystem::create_directories(dir.file("real/home/Karantina"));
    const std::string resolved = ResolveQuarantineFolder(dir.file("home/./Karantina/"));
    EXPECT_EQ(resolved, real + "/Karantina");
    EXPECT_TRUE(InQuarantine(real + "/Karantina/", resolved));
    EXPECT_FALSE(InQuarantine(real + "/Karantina2/", resolved));
}

// Root keeps its quarantine in its own home: a HOME inherited from a user (sudo) would put
// root's files into a folder that user controls.
TEST(QuarantineFolder, RootsDefaultFolderIgnoresAnInheritedHome) {
    if (!platform::runningAsRoot()) {
        GTEST_SKIP() << "needs root";
    }
    TempDir home;
    const char* saved = std::getenv("HOME");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("HOME", home.path().c_str(), 1);
    const std::string folder = DefaultQuarantineFolder();
    if (saved != nullptr) {
        ::setenv("HOME", previous.c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
    EXPECT_EQ(folder.rfind(home.path(), 0), std::string::npos) << folder;
    EXPECT_EQ(folder, platform::homeFolder() + "/Karantina");
    EXPECT_NE(folder.find("/Karantina"), std::string::npos);
}
