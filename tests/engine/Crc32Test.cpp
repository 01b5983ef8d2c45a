#include "engine/Crc32.h"

#include "engine/clsCRC.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/UnreadableFile.h"

#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

using testsupport::randomBytes;
using testsupport::zlibCrc32;

std::int32_t asSigned(std::uint32_t value) {
    return static_cast<std::int32_t>(value);
}

TEST(Crc32, TableHoldsTheStandardEntries) {
    EXPECT_EQ(crc32::kTable[0], 0x00000000u);
    EXPECT_EQ(crc32::kTable[1], 0x77073096u);
    EXPECT_EQ(crc32::kTable[128], 0xEDB88320u);
    EXPECT_EQ(crc32::kTable[255], 0x2D02EF8Du);
}

// The published 128-bit folding multipliers (4 x 128 bits and 128 bits apart), x^64 mod P and the
// Barrett multiplier floor(x^64 / P).
TEST(Crc32, FoldConstantsMatchThePublishedValues) {
    static_assert(crc32::xPowerModP(0) == 0x80000000u && crc32::xPowerModP(32) == 0xEDB88320u);
    EXPECT_EQ(crc32::foldConstant(4 * 128 + 32), 0x154442BD4u);
    EXPECT_EQ(crc32::foldConstant(4 * 128 - 32), 0x1C6E41596u);
    EXPECT_EQ(crc32::foldConstant(128 + 32), 0x1751997D0u);
    EXPECT_EQ(crc32::foldConstant(128 - 32), 0x0CCAA009Eu);
    EXPECT_EQ(crc32::foldConstant(64), 0x163CD6124u);
    EXPECT_EQ(crc32::barrettConstant(), 0x1F7011641u);
    // Moving a register n bits along is what n zero bits do to it.
    const std::string zeros(300, '\0');
    for (const std::uint32_t reg : {0x00000001u, 0x80000000u, 0x12345678u}) {
        for (const unsigned bytes : {1u, 4u, 17u, 300u}) {
            std::uint32_t product = 0;
            for (unsigned bit = 0; bit < 32; ++bit) { // reg * x^n, one reflected bit at a time
                if ((reg >> bit & 1u) != 0) {
                    product ^= crc32::xPowerModP(31 - bit + 8 * bytes);
                }
            }
            EXPECT_EQ(product,
                      crc32::updateBytewise(reg, std::string_view(zeros).substr(0, bytes)));
        }
    }
}

TEST(Crc32, EveryLoopAgreesWithZlibForAllLengthsAndAlignments) {
    const std::string pool = randomBytes(100'000 + 16, 7);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 600; ++n) { // every tail after a folding step of 256 bytes
        lengths.push_back(n);
    }
    for (std::size_t n = 601; n < 100'000; n = n * 3 / 2 + 7) {
        lengths.push_back(n);
    }
    lengths.push_back(100'000);
    for (const std::size_t length : lengths) {
        for (std::size_t start = 0; start < 16; start += length <= 600 ? 1 : 5) {
            const std::string_view data(pool.data() + start, length);
            const std::uint32_t expected = zlibCrc32(data);
            SCOPED_TRACE(testing::Message() << "length " << length << ", start " << start);
            ASSERT_EQ(~crc32::updateBytewise(0xFFFFFFFFu, data), expected);
            ASSERT_EQ(~crc32::updateSliced(0xFFFFFFFFu, data), expected);
            ASSERT_EQ(~crc32::update(0xFFFFFFFFu, data), expected);
            ASSERT_EQ(~crc32::updateFolded256(0xFFFFFFFFu, data), expected);
        }
    }
}

// Each loop must continue from whatever register the previous piece left, whichever loop made it.
TEST(Crc32, LoopsChainAcrossRandomPieces) {
    const std::string data = randomBytes(50'000, 8);
    std::mt19937 generator(9);
    std::uniform_int_distribution<std::size_t> pieceLength(0, 2000);
    for (int round = 0; round < 40; ++round) {
        std::uint32_t reg = 0xFFFFFFFFu;
        for (std::size_t pos = 0, loop = 0; pos < data.size(); ++loop) {
            const auto piece = std::string_view(data).substr(pos, pieceLength(generator));
            reg = loop % 4 == 0   ? crc32::updateBytewise(reg, piece)
                  : loop % 4 == 1 ? crc32::updateSliced(reg, piece)
                  : loop % 4 == 2 ? crc32::update(reg, piece)
                                  : crc32::updateFolded256(reg, piece);
            pos += piece.size();
        }
        ASSERT_EQ(~reg, zlibCrc32(data)) << "round " << round;
    }
}

TEST(ClsCrc, KnownChecksumsAndTheirTexts) {
    const struct {
        std::string_view bytes;
        std::uint32_t crc;
        std::string_view text;
    } cases[] = {
        {"abc", 0x352441C2u, "352441C2"},
        {"123456789", 0xCBF43926u, "CBF43926"},
        {"ae", 0x00E7DDCEu, "E7DDCE"},
        {"", 0u, "0"},
    };
    for (const auto& c : cases) {
        clsCRC crc;
        const std::int32_t value = crc.CalculateBytes(c.bytes);
        EXPECT_EQ(value, asSigned(c.crc)) << c.bytes;
        EXPECT_EQ(ChecksumText(value), c.text) << c.bytes;
    }
}

TEST(ClsCrc, ChecksumTextIsUnsignedUpperCaseHexWithoutLeadingZeros) {
    EXPECT_EQ(ChecksumText(std::nullopt), "0");
    EXPECT_EQ(ChecksumText(0), "0");
    EXPECT_EQ(ChecksumText(1), "1");
    EXPECT_EQ(ChecksumText(-1), "FFFFFFFF");
    EXPECT_EQ(ChecksumText(std::numeric_limits<std::int32_t>::min()), "80000000");
    EXPECT_EQ(ChecksumText(0x0ABCDEF0), "ABCDEF0");
}

TEST(ClsCrc, RegisterCarriesOverBetweenCalls) {
    clsCRC crc;
    EXPECT_EQ(crc.Value(), 0); // a new object starts cleared
    crc.AddBytes("ab");
    const std::int32_t afterAb = crc.Value();
    EXPECT_EQ(crc.AddBytes(""), afterAb);
    EXPECT_EQ(crc.AddBytes("c"), asSigned(0x352441C2u));
    EXPECT_EQ(crc.CalculateBytes("abc"), asSigned(0x352441C2u)); // starts again from a clear
    crc.Clear();
    EXPECT_EQ(crc.Value(), 0);

    // The register is written as given, not complemented, so a partial result resumes this way.
    clsCRC resumed;
    resumed.Value(0);
    EXPECT_EQ(resumed.Value(), -1);
    resumed.Value(~afterAb);
    EXPECT_EQ(resumed.AddBytes("c"), asSigned(0x352441C2u));
}

TEST(ClsCrc, ValueOutsideThirtyTwoBitsIsRejectedAndLeavesTheRegister) {
    clsCRC crc;
    crc.AddBytes("abc");
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    EXPECT_THROW(crc.Value(kMax + 1), std::out_of_range);
    EXPECT_THROW(crc.Value(kMin - 1), std::out_of_range);
    EXPECT_EQ(crc.Value(), asSigned(0x352441C2u));
    crc.Value(kMin);
    EXPECT_EQ(crc.Value(), kMax);
}

TEST(ClsCrc, AlgorithmIsAFlagThatOnlyClears) {
    clsCRC crc;
    EXPECT_EQ(crc.Algorithm(), 0);
    for (const std::int32_t setting : {5, -7, 0, 1}) {
        crc.AddBytes("junk");
        crc.Algorithm(setting);
        EXPECT_EQ(crc.Algorithm(), setting != 0 ? -1 : 0);
        EXPECT_EQ(crc.Value(), 0);
        EXPECT_EQ(crc.CalculateBytes("123456789"), asSigned(0xCBF43926u));
    }
}

TEST(ClsCrcFile, WholeFileChecksumEqualsZlib) {
    const testsupport::TempDir dir;
    // Sizes around the 1 MiB read block and a file of several blocks.
    for (const std::size_t size :
         {std::size_t{1}, std::size_t{68}, std::size_t{(1 << 20) - 1}, std::size_t{1 << 20},
          std::size_t{(1 << 20) + 1}, std::size_t{(5 << 20) + 3}}) {
        const std::string content = randomBytes(size, static_cast<std::uint32_t>(size));
        const std::string path = dir.file("sample.bin");
        testsupport::writeFile(path, content);
        clsCRC crc;
        crc.AddBytes("left over from an earlier job");
        EXPECT_EQ(crc.CalculateFile(path), asSigned(zlibCrc32(content))) << size;
    }
}

TEST(ClsCrcFile, NoResultWhenNothingCanBeRead) {
    const testsupport::TempDir dir;
    testsupport::writeFile(dir.file("empty"), "");
    // Opening a pipe without a writer would block; it must be refused without opening it.
    const testsupport::UnreadableFile unreadable(dir.file("pipe"));
    for (const std::string& path :
         {dir.file("empty"), dir.file("missing"), dir.path(), dir.file("pipe")}) {
        clsCRC crc;
        const CrcResult result = crc.CalculateFile(path);
        EXPECT_FALSE(result.has_value()) << path;
        EXPECT_EQ(ChecksumText(result), "0") << path;
    }
}

} // namespace
