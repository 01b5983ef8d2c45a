#include "platform/SmartIoctl.h"

#include "smart/mSMARTCall.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using namespace platform;
namespace io = platform::smart_ioctl;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t word(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void setWord(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

/// What a driver answers to the health log query: the descriptor's own version and size, the
/// protocol data as sent, and the page, each byte its offset's low byte.
Bytes healthAnswer() {
    Bytes answer = io::nvmeQuery(io::NvmePage::HealthLog);
    setWord(answer, 0, 48);
    setWord(answer, 4, 48);
    for (std::size_t i = 48; i < answer.size(); ++i) {
        answer[i] = static_cast<std::uint8_t>(i);
    }
    return answer;
}

} // namespace

TEST(SmartIoctl, NvmeQueriesNameThePageAndLeaveRoomForIt) {
    const Bytes identify = io::nvmeQuery(io::NvmePage::IdentifyController);
    ASSERT_EQ(identify.size(), 8u + 40u + 4096u);
    // Adapter property, standard query; NVMe, Identify, CNS 1 of namespace 0; data right after
    // the protocol data, 4096 bytes.
    const std::vector<std::uint32_t> identifyWords = {49, 0, 3, 1, 1, 0, 40, 4096, 0, 0, 0, 0};
    for (std::size_t i = 0; i < identifyWords.size(); ++i) {
        EXPECT_EQ(word(identify, 4 * i), identifyWords[i]) << "word " << i;
    }
    const Bytes health = io::nvmeQuery(io::NvmePage::HealthLog);
    ASSERT_EQ(health.size(), 8u + 40u + 512u);
    const std::vector<std::uint32_t> healthWords = {50, 0, 3, 2, 2, 0, 40, 512, 0, 0, 0, 0};
    for (std::size_t i = 0; i < healthWords.size(); ++i) {
        EXPECT_EQ(word(health, 4 * i), healthWords[i]) << "word " << i;
    }
    EXPECT_TRUE(std::all_of(health.begin() + 48, health.end(), [](auto b) { return b == 0; }));
}

TEST(SmartIoctl, NvmePageOnlyFromAWholeAnswer) {
    const Bytes answer = healthAnswer();
    const auto page = io::nvmePageOf(answer, answer.size(), 512);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->size(), 512u);
    EXPECT_EQ(page->front(), 48);
    EXPECT_EQ(page->data(), answer.data() + 48);
    // A driver that claims more than the buffer holds is held to the buffer.
    EXPECT_TRUE(io::nvmePageOf(answer, answer.size() + 100, 512));

    const auto refused = [](Bytes bytes, std::size_t returned) {
        return !io::nvmePageOf(bytes, returned, 512);
    };
    EXPECT_TRUE(refused(answer, answer.size() - 1)); // the page's last byte did not arrive
    EXPECT_TRUE(refused(answer, 47));
    Bytes wrong = answer;
    setWord(wrong, 0, 12); // another version
    EXPECT_TRUE(refused(wrong, wrong.size()));
    wrong = answer;
    setWord(wrong, 8 + 16, 0xFFFFFFF0); // the page far beyond the buffer
    EXPECT_TRUE(refused(wrong, wrong.size()));
    wrong = answer;
    setWord(wrong, 8 + 16, 8); // the page inside the protocol data
    EXPECT_TRUE(refused(wrong, wrong.size()));
    wrong = answer;
    setWord(wrong, 8 + 20, 256); // less than a page
    EXPECT_TRUE(refused(wrong, wrong.size()));
}

TEST(SmartIoctl, OnlyPhysicalDrivesOnAtaSataOrNvmeBuses) {
    EXPECT_EQ(io::physicalDriveNumber("\\\\.\\PhysicalDrive0"), 0);
    EXPECT_EQ(io::physicalDriveNumber("\\\\.\\physicaldrive12"), 12);
    EXPECT_EQ(io::physicalDriveNumber("\\\\.\\PHYSICALDRIVE999"), 999);
    EXPECT_EQ(io::physicalDriveNumber(io::physicalDrivePath(3)), 3);
    EXPECT_EQ(io::physicalDrivePath(3), "\\\\.\\PhysicalDrive3");
    for (const char* other :
         {"\\\\.\\PhysicalDrive", "\\\\.\\PhysicalDrive1000", "\\\\.\\PhysicalDrive-1",
          "\\\\.\\PhysicalDrive1\\x", "\\\\.\\PhysicalDrive 1", "\\\\?\\PhysicalDrive0",
          "C:\\PhysicalDrive0", "\\\\.\\C:", "/dev/sda", "PhysicalDrive0", ""}) {
        EXPECT_FALSE(io::physicalDriveNumber(other)) << other;
    }

    EXPECT_EQ(io::deviceDescriptorQuery(), (std::array<std::uint8_t, 12>{}));
    Bytes descriptor(40, 0);
    descriptor[28] = 0x11;
    EXPECT_EQ(io::busTypeOf(descriptor, 40), 0x11u);
    EXPECT_FALSE(io::busTypeOf(descriptor, 31));
    EXPECT_EQ(io::kindOfBus(0x03), SmartKind::AtaDisk);
    EXPECT_EQ(io::kindOfBus(0x0B), SmartKind::AtaDisk);
    EXPECT_EQ(io::kindOfBus(0x11), SmartKind::Nvme);
    // SCSI, USB, RAID, SAS, virtual, file-backed virtual, storage spaces.
    for (const std::uint32_t bus : {0x01u, 0x07u, 0x08u, 0x0Au, 0x0Eu, 0x0Fu, 0x10u}) {
        EXPECT_FALSE(io::kindOfBus(bus)) << bus;
    }
}

TEST(SmartIoctl, TheDriveOfAHandleIsInTheSlotAsked) {
    SmartVersionBlock answer{};
    answer[0] = 1;
    answer[3] = 0x04; // the driver's map: master of the secondary channel
    const auto mapped = io::perDeviceVersion(answer, 1);
    ASSERT_TRUE(mapped);
    EXPECT_EQ((*mapped)[3], 0x02);
    EXPECT_EQ((*mapped)[0], 1);
    answer[3] = 0x11; // an ATAPI drive
    EXPECT_EQ((*io::perDeviceVersion(answer, 3))[3], 0x88);
    answer[3] = 0;
    EXPECT_FALSE(io::perDeviceVersion(answer, 0));
    answer[3] = 1;
    EXPECT_FALSE(io::perDeviceVersion(answer, 4));
}

TEST(SmartIoctl, OnlyTheQuerysRequestsEachWithItsCodeAndAnswer) {
    EXPECT_TRUE(io::ataRequestAllowed(kSmartSendDriveCommand, mSMARTCall::EnableSmartParams(2),
                                      kSmartStatusOutSize));
    for (const SmartInParams& read :
         {mSMARTCall::IdentifyParams(0, true), mSMARTCall::ReadAttributesParams(1, true),
          mSMARTCall::ReadThresholdsParams(3, true)}) {
        EXPECT_TRUE(io::ataRequestAllowed(kSmartRcvDriveData, read, kSmartDataOutSize));
        EXPECT_FALSE(io::ataRequestAllowed(kSmartSendDriveCommand, read, kSmartDataOutSize));
        EXPECT_FALSE(io::ataRequestAllowed(kSmartRcvDriveData, read, kSmartStatusOutSize));
    }
    EXPECT_FALSE(io::ataRequestAllowed(kSmartRcvDriveData, mSMARTCall::EnableSmartParams(0),
                                       kSmartStatusOutSize));
    SmartInParams disable = mSMARTCall::EnableSmartParams(0);
    disable[4] = 0xD9;
    SmartInParams write = mSMARTCall::IdentifyParams(0, true);
    write[10] = 0xCA;
    EXPECT_FALSE(io::ataRequestAllowed(kSmartSendDriveCommand, disable, kSmartStatusOutSize));
    EXPECT_FALSE(io::ataRequestAllowed(kSmartRcvDriveData, write, kSmartDataOutSize));
    EXPECT_FALSE(io::ataRequestAllowed(kSmartGetVersion, mSMARTCall::IdentifyParams(0, true),
                                       kSmartDataOutSize));
}

TEST(SmartIoctl, AnswersReportTheDriversErrorAndMissingData) {
    Bytes out(kSmartDataOutSize, 0);
    EXPECT_TRUE(io::ataAnswerOk(out, out.size(), true));
    EXPECT_TRUE(io::ataAnswerOk(out, 100, true)); // a short sector; the rest stays zero
    EXPECT_FALSE(io::ataAnswerOk(out, 16, true)); // status only, no data
    EXPECT_TRUE(io::ataAnswerOk(Bytes(16, 0), 16, false));
    EXPECT_FALSE(io::ataAnswerOk(Bytes(16, 0), 15, false));
    out[4] = 1; // the driver's error
    EXPECT_FALSE(io::ataAnswerOk(out, out.size(), true));
}
