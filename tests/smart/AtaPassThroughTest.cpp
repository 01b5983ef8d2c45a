#include "platform/AtaPassThrough.h"

#include "smart/mSMARTCall.h"

#include <gtest/gtest.h>
#include <vector>

using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;

ata::Outcome judged(std::uint8_t status, Bytes sense, std::uint8_t host = 0,
                    std::uint8_t driver = 0) {
    std::array<std::uint8_t, 4> data{1, 2, 3, 4};
    return ata::judgeReply({status, host, driver, 0, sense}, data);
}

/// Descriptor-format sense with an ATA status return descriptor.
Bytes descriptorSense(std::uint8_t error, std::uint8_t status) {
    Bytes sense{0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14};
    const Bytes descriptor{0x09, 0x0C, 0, error, 0, 1, 0, 0, 0, 0x4F, 0, 0xC2, 0xA0, status};
    sense.insert(sense.end(), descriptor.begin(), descriptor.end());
    return sense;
}

/// Fixed-format sense carrying the ATA registers in its information field.
Bytes fixedSense(std::uint8_t error, std::uint8_t status) {
    return {0x70, 0, 0x01, error, status, 0xA0, 1, 10, 0, 0, 0, 0, 0x00, 0x1D, 0, 0, 0, 0};
}

} // namespace

TEST(AtaPassThrough, CdbCarriesTheRegistersOfTheFourAllowedRequests) {
    EXPECT_EQ(ata::passThroughCdb(mSMARTCall::ReadAttributesParams(1, true)),
              (ata::Cdb{0x85, 0x08, 0x0E, 0, 0xD0, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}));
    EXPECT_EQ(ata::passThroughCdb(mSMARTCall::IdentifyParams(0, false)),
              (ata::Cdb{0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0xA0, 0xEC, 0}));
    EXPECT_EQ(ata::passThroughCdb(mSMARTCall::EnableSmartParams(3)),
              (ata::Cdb{0x85, 0x06, 0x20, 0, 0xD8, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}));
    EXPECT_TRUE(ata::passThroughCdb(mSMARTCall::ReadThresholdsParams(2, true)));

    // Anything else never reaches a drive: other SMART subcommands, other commands, or a
    // buffer size that does not fit the command.
    SmartInParams disable = mSMARTCall::EnableSmartParams(0);
    disable[4] = 0xD9;
    SmartInParams write = mSMARTCall::IdentifyParams(0, true);
    write[10] = 0xCA;
    SmartInParams wrongSize = mSMARTCall::ReadAttributesParams(0, true);
    wrongSize[1] = 4;
    for (const SmartInParams& in : {disable, write, wrongSize, SmartInParams{}}) {
        EXPECT_FALSE(ata::passThroughCdb(in));
    }
}

TEST(AtaPassThrough, SenseInBothFormatsJudgesTheErrBit) {
    EXPECT_TRUE(ata::decodeSense(descriptorSense(0, 0x50)).ok);
    const ata::Outcome aborted = ata::decodeSense(descriptorSense(0x04, 0x51));
    EXPECT_FALSE(aborted.ok);
    EXPECT_EQ(aborted.ataError, 0x04);
    EXPECT_TRUE(ata::decodeSense(fixedSense(0, 0x50)).ok);
    EXPECT_FALSE(ata::decodeSense(fixedSense(0x04, 0x51)).ok);

    // Without ATA registers the sense key decides; unknown formats and cut-off buffers fail.
    EXPECT_FALSE(ata::decodeSense(Bytes{0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0}).ok);
    EXPECT_TRUE(ata::decodeSense(Bytes{0x72, 0x00, 0, 0, 0, 0, 0, 0}).ok);
    EXPECT_FALSE(ata::decodeSense(Bytes{0x72, 0x0B, 0, 0, 0, 0, 0, 0}).ok);
    EXPECT_FALSE(ata::decodeSense(Bytes{0x7F, 0, 0, 0, 0, 0, 0, 0}).ok);
    Bytes cut = descriptorSense(0, 0x50);
    cut.resize(20); // the descriptor's status byte is missing
    EXPECT_TRUE(ata::decodeSense(cut).ok);
    cut[1] = 0x05;
    EXPECT_FALSE(ata::decodeSense(cut).ok);
}

TEST(AtaPassThrough, ReplyStatusAndShortTransfers) {
    EXPECT_TRUE(judged(0x00, {}).ok);
    EXPECT_TRUE(judged(0x02, descriptorSense(0, 0x50), 0, 0x08).ok);
    EXPECT_FALSE(judged(0x02, descriptorSense(0x04, 0x51), 0, 0x08).ok);
    EXPECT_FALSE(judged(0x02, {}).ok);          // check condition without sense
    EXPECT_FALSE(judged(0x00, {}, 0x01).ok);    // no connection
    EXPECT_FALSE(judged(0x00, {}, 0, 0x06).ok); // timed out
    EXPECT_FALSE(judged(0x08, {}).ok);          // busy

    std::array<std::uint8_t, 6> data{1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(ata::judgeReply({0, 0, 0, 2, {}}, data).ok);
    EXPECT_EQ(data, (std::array<std::uint8_t, 6>{1, 2, 3, 4, 0, 0}));
    EXPECT_FALSE(ata::judgeReply({0, 0, 0, 99, {}}, data).ok); // nothing arrived
    EXPECT_EQ(data, (std::array<std::uint8_t, 6>{}));
}
