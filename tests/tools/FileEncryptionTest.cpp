#include "tools/FileEncryption.h"

#include "testsupport/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

/// A sparse file of `size` bytes: as long as a big file, without writing one.
std::string sparseFile(const testsupport::TempDir& dir, const std::string& name,
                       std::uint64_t size) {
    const std::string path = dir.file(name);
    { std::ofstream create(path); }
    std::filesystem::resize_file(path, size);
    return path;
}

} // namespace

TEST(FileEncryptionProgress, ShownFromTheThresholdOnForTheEntryItself) {
    testsupport::TempDir dir;
    EXPECT_FALSE(
        FileEncryption::ShowsProgress(sparseFile(dir, "below", FileEncryption::kProgressFrom - 1)));
    const std::string big = sparseFile(dir, "big", FileEncryption::kProgressFrom);
    EXPECT_TRUE(FileEncryption::ShowsProgress(big));
    // A link is refused by the rewrite, so its target's size does not count.
    std::filesystem::create_symlink(big, dir.file("link"));
    EXPECT_FALSE(FileEncryption::ShowsProgress(dir.file("link")));
    EXPECT_FALSE(FileEncryption::ShowsProgress(dir.file("missing")));
    EXPECT_FALSE(FileEncryption::ShowsProgress(""));
}
