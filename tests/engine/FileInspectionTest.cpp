#include "engine/FileInspection.h"

#include "engine/clsCRC.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/UnreadableFile.h"

#include <gtest/gtest.h>

namespace {

// 750 KB is 768,000 bytes; the limit is "more than 750 KB", so that size itself may be marked.
TEST(FileInspection, ReadableFilesAreFilledInAndMarkableUpTo750KB) {
    const testsupport::TempDir dir;
    const struct {
        std::string content;
        std::string_view name;
        std::string_view type;
        bool canMark;
    } cases[] = {
        {testsupport::noise(768'000, 1), "limit.exe", "Application", true},
        {testsupport::noise(768'001, 2), "over.dll", "Dynamic Link Library", false},
        {"", "empty.txt", "Text Document", false},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file(c.name);
        testsupport::writeFile(path, c.content);
        const FileInspection inspection = InspectFile(path);
        SCOPED_TRACE(c.name);
        const auto crc = static_cast<std::int32_t>(testsupport::zlibCrc32(c.content));
        EXPECT_EQ(inspection.checksum, c.content.empty() ? "0" : ChecksumText(crc));
        EXPECT_EQ(inspection.packer, "Unknown");
        EXPECT_EQ(inspection.compiler, "Unknown");
        EXPECT_EQ(inspection.type, c.type);
        EXPECT_EQ(inspection.canMark, c.canMark);
        EXPECT_EQ(inspection.error, "");
    }
}

TEST(FileInspection, UnreadableFileStopsAfterTheChecksum) {
    const testsupport::TempDir dir;
    const testsupport::UnreadableFile unreadable(dir.file("pipe"));
    for (const std::string& path : {dir.file("missing.exe"), dir.file("pipe")}) {
        const FileInspection inspection = InspectFile(path);
        EXPECT_EQ(inspection.checksum, "0") << path;
        EXPECT_NE(inspection.error, "") << path;
        EXPECT_FALSE(inspection.packer.has_value()) << path;
        EXPECT_FALSE(inspection.compiler.has_value()) << path;
        EXPECT_FALSE(inspection.type.has_value()) << path;
        EXPECT_FALSE(inspection.canMark.has_value()) << path;
    }
}

TEST(FileInspection, MarkRule) {
    EXPECT_TRUE(CanMarkChecksum(768'000, "352441C2"));
    EXPECT_FALSE(CanMarkChecksum(768'001, "352441C2"));
    EXPECT_FALSE(CanMarkChecksum(10, "0"));
    EXPECT_FALSE(CanMarkChecksum(10, ""));
    EXPECT_FALSE(CanMarkChecksum(~0ull, "352441C2"));
    // Closing marks a ticked checksum even after a large file disabled the box, never "0".
    EXPECT_EQ(ChecksumToMark(true, "352441C2"), "352441C2");
    EXPECT_EQ(ChecksumToMark(false, "352441C2"), std::nullopt);
    EXPECT_EQ(ChecksumToMark(true, "0"), std::nullopt);
    EXPECT_EQ(ChecksumToMark(true, ""), std::nullopt);
}

} // namespace
