#include "scanner/QuarantineFolder.h"

#include "scanner/FileCheck.h"
#include "testsupport/TempDir.h"

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
