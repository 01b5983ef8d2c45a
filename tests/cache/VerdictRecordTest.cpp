#include "cache/VerdictRecord.h"

#include "testsupport/SampleFiles.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace {

// Where the fields of a value lie (big-endian numbers).
constexpr std::size_t kChecksumAt = 12;
constexpr std::size_t kFlagsAt = 16;
constexpr std::size_t kPatternAt = 17;
constexpr std::size_t kExtraSourceAt = 19;
constexpr std::size_t kExtraItemAt = 21;
constexpr std::size_t kCheckAt = 29;

std::string bytesOf(const VerdictRecord& record) {
    const VerdictRecord::Value value = record.encode();
    return {value.data(), value.size()};
}

/// `bytes` with their trailing check made anew, as a writer that meant them would have.
std::string withCheck(std::string bytes) {
    const std::uint32_t check = testsupport::zlibCrc32(std::string_view(bytes).substr(0, kCheckAt));
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[kCheckAt + i] = static_cast<char>(check >> (24 - 8 * i));
    }
    return bytes;
}

std::vector<VerdictRecord> variedRecords() {
    std::vector<VerdictRecord> records(6);
    // records[0]: nothing known but the stamp's zeros, may be running.
    records[1].stamp = {VerdictRecord::kMaxSize - 1, std::numeric_limits<std::int64_t>::min()};
    records[1].facts = {0u, true, 0, false}; // a checksum of 0 is still a checksum
    records[1].serial = std::numeric_limits<std::uint32_t>::max();
    records[2].stamp = {1, 1'700'000'000'123'456'789};
    records[2].facts = {0xDEADBEEFu, true, 65535, true};
    records[2].serial = 7;
    records[3].stamp = {4096, -5};
    records[3].facts = {std::nullopt, false, 0, false};
    records[3].serial = 1;
    // What the other signature sources found: nothing, and the last item of the last source.
    records[4].facts = {17u, false, 0, true, true, 0, 0};
    records[5].facts = {std::nullopt, true, 3, false, true, 65535, 0xFFFFFFFFu};
    records[5].serial = 2;
    return records;
}

TEST(VerdictRecordTest, DecodeGivesBackWhatEncodeWrote) {
    const std::vector<VerdictRecord> records = variedRecords();
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string bytes = bytesOf(records[i]);
        ASSERT_EQ(bytes.size(), VerdictRecord::kValueSize);
        EXPECT_EQ(VerdictRecord::Decode(bytes), records[i]);
        for (std::size_t j = 0; j < i; ++j) {
            EXPECT_NE(bytesOf(records[j]), bytes) << "same bytes as record " << j;
        }
    }
}

TEST(VerdictRecordTest, DecodeRefusesOtherLengthsAndAnyFlippedBit) {
    const std::string bytes = bytesOf(variedRecords()[2]);
    EXPECT_FALSE(VerdictRecord::Decode(""));
    EXPECT_FALSE(VerdictRecord::Decode(std::string_view(bytes).substr(0, bytes.size() - 1)));
    EXPECT_FALSE(VerdictRecord::Decode(bytes + '\0'));
    for (std::size_t bit = 0; bit < bytes.size() * 8; ++bit) {
        std::string damaged = bytes;
        damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (1 << (bit % 8)));
        EXPECT_FALSE(VerdictRecord::Decode(damaged)) << "bit " << bit;
    }
}

TEST(VerdictRecordTest, DecodeRefusesFieldsNoRecordHasEvenWithAValidCheck) {
    const std::vector<VerdictRecord> records = variedRecords();
    // The helper makes the check as encode does: a changed serial with a new check decodes.
    std::string serialChanged = bytesOf(records[2]);
    serialChanged[kCheckAt - 1] = 8;
    VerdictRecord expected = records[2];
    expected.serial = 8;
    ASSERT_EQ(VerdictRecord::Decode(withCheck(serialChanged)), expected);

    for (const unsigned flag : {0x10u, 0x20u, 0x80u}) {
        std::string unknownFlag = bytesOf(records[2]);
        unknownFlag[kFlagsAt] = static_cast<char>(unknownFlag[kFlagsAt] | flag);
        EXPECT_FALSE(VerdictRecord::Decode(withCheck(unknownFlag))) << "flag " << flag;
    }
    // records[3] has neither a checksum nor searched patterns.
    std::string checksumWithoutFlag = bytesOf(records[3]);
    checksumWithoutFlag[kChecksumAt + 3] = 1;
    EXPECT_FALSE(VerdictRecord::Decode(withCheck(checksumWithoutFlag)));
    std::string patternWithoutSearch = bytesOf(records[3]);
    patternWithoutSearch[kPatternAt] = 1;
    EXPECT_FALSE(VerdictRecord::Decode(withCheck(patternWithoutSearch)));
    // records[3] was not checked by the other sources; records[4] was, and they found nothing.
    std::string sourceWithoutCheck = bytesOf(records[3]);
    sourceWithoutCheck[kExtraSourceAt + 1] = 1;
    EXPECT_FALSE(VerdictRecord::Decode(withCheck(sourceWithoutCheck)));
    std::string itemWithoutSource = bytesOf(records[4]);
    itemWithoutSource[kExtraItemAt + 3] = 1;
    EXPECT_FALSE(VerdictRecord::Decode(withCheck(itemWithoutSource)));
}

TEST(VerdictRecordTest, KeysSortByInodeFirstThenVolume) {
    const auto less = [](const VerdictRecord::Key& a, const VerdictRecord::Key& b) {
        return std::memcmp(a.data(), b.data(), a.size()) < 0;
    };
    using R = VerdictRecord;
    EXPECT_TRUE(less(R::EncodeKey(0xFFFFFFFFu, 1), R::EncodeKey(1, 2)));
    EXPECT_TRUE(less(R::EncodeKey(1, 5), R::EncodeKey(2, 5)));
    EXPECT_TRUE(less(R::EncodeKey(9, 255), R::EncodeKey(1, 256)));
    EXPECT_TRUE(less(R::EncodeKey(9, 0xFFFFFFFFull), R::EncodeKey(1, 1ull << 32)));
    EXPECT_TRUE(less(R::EncodeKey(0x100, 7), R::EncodeKey(0x101, 7)));
    EXPECT_NE(R::EncodeKey(1, 2), R::EncodeKey(2, 1));
}

} // namespace
