#include "smart/NvmePages.h"
#include "smart/mSMARTCall.h"
#include "testsupport/FakeSmartDevice.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

using mSMARTDef::DriveInfo;
using platform::SmartInParams;

namespace {

using FakeDevice = testsupport::FakeSmartDevice;
using testsupport::SectorBytes;

SectorBytes entries(const std::vector<std::vector<std::uint8_t>>& rows) {
    return testsupport::smartEntries(rows);
}

void put(SectorBytes& sector, std::size_t at, std::string_view text) {
    testsupport::putText(sector, at, text);
}

const std::vector<std::string> kFullQuery = {"open 2",
                                             "version",
                                             "command 7C084 D8 16",
                                             "command 7C088 EC 528",
                                             "command 7C088 D0 528",
                                             "command 7C088 D1 528",
                                             "close"};

} // namespace

TEST(SmartParsing, AttributeEntriesSkipGapsAndNameUnknownIds) {
    DriveInfo info;
    mSMARTCall::ParseAttributes(entries({}), info);
    EXPECT_EQ(info.NumAttributes, 0);
    EXPECT_EQ(info.Attributes, std::vector<mSMARTDef::AttrData>(1));

    mSMARTCall::ParseAttributes(
        entries({{1, 0x0F, 0x00, 100, 99, 0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xFF},
                 {0, 0xFF, 0xFF, 1, 1},
                 {194, 0x22, 0x01, 40, 52},
                 {195, 0, 0, 1, 2},
                 {225, 0x32, 0, 200, 200}}),
        info);
    ASSERT_EQ(info.NumAttributes, 4);
    ASSERT_EQ(info.Attributes.size(), 5u);
    EXPECT_EQ(info.Attributes[0],
              (mSMARTDef::AttrData{1, "READ_ERROR_RATE", 100, 0, 99, 0x000F, 0xBA9876543210}));
    EXPECT_EQ(info.Attributes[1], (mSMARTDef::AttrData{194, "TEMPERATURE", 40, 0, 52, 0x0122, 0}));
    EXPECT_EQ(info.Attributes[2].AttrName, "Unknown value (195)");
    EXPECT_EQ(info.Attributes[3].AttrName, "LOAD_UNLOAD_CYCLE_COUNTII");
    EXPECT_EQ(info.Attributes[4], mSMARTDef::AttrData{});
}

TEST(SmartParsing, ThirtyFullEntriesAndThresholdsGoToTheFirstMatchOnly) {
    std::vector<std::vector<std::uint8_t>> rows;
    for (std::uint8_t i = 0; i < 30; ++i) {
        rows.push_back({static_cast<std::uint8_t>(i < 2 ? 5 : 100 + i), 0, 0, i});
    }
    DriveInfo info;
    mSMARTCall::ParseAttributes(entries(rows), info);
    ASSERT_EQ(info.NumAttributes, 30);
    EXPECT_EQ(info.Attributes.size(), 31u);
    EXPECT_EQ(info.Attributes[29].AttrValue, 29);

    mSMARTCall::ParseThresholds(entries({{5, 36}, {7, 50}, {0, 99}, {129, 12}}), info);
    EXPECT_EQ(info.Attributes[0].ThresholdValue, 36);
    EXPECT_EQ(info.Attributes[1].ThresholdValue, 0); // the duplicate id keeps none
    EXPECT_EQ(info.Attributes[29].ThresholdValue, 12);
    for (std::size_t i = 2; i < 29; ++i) {
        EXPECT_EQ(info.Attributes[i].ThresholdValue, 0) << i; // id 7 has no record
    }
}

TEST(SmartParsing, IdentityIsSwappedByteForByteAndGeometryIsSigned) {
    SectorBytes sector{};
    put(sector, 20, std::string("2143") + std::string(15, ' ') + '\0');
    put(sector, 46, "1.0A  0");
    put(sector, 54, std::string("  ASPMELX") + '\0' + std::string(30, ' '));
    sector[2] = 0xFF; // cylinders 0x7FFF
    sector[3] = 0x7F;
    sector[6] = 0x00; // heads 0x8000
    sector[7] = 0x80;
    sector[12] = 0x3F;
    DriveInfo info;
    mSMARTCall::ParseIdentify(sector, info);
    EXPECT_EQ(info.SerialNumber, std::string("1234") + std::string(14, ' ') + '\0' + ' ');
    EXPECT_EQ(info.FirmWare, std::string(".1A0  ") + '\0' + "0");
    EXPECT_EQ(info.Model, std::string("  SAMPLE") + '\0' + 'X' + std::string(30, ' '));
    EXPECT_EQ(info.Cilinders, 32767);
    EXPECT_EQ(info.Heads, -32768);
    EXPECT_EQ(info.SecPerTrack, 63);

    EXPECT_EQ(mSMARTCall::SwapChars("ABCD"), "BADC");
    EXPECT_EQ(mSMARTCall::SwapChars("ABC"), "BA ");
}

TEST(SmartParsing, NameTableAndBits) {
    EXPECT_EQ(mSMARTCall::AttrNames().size(), 35u);
    EXPECT_EQ(mSMARTCall::AttrName(250), "READ_ERROR_RETRY_RATE");
    EXPECT_EQ(mSMARTCall::AttrName(229), "Unknown value (229)");
    EXPECT_TRUE(mSMARTCall::IsBitSet(0x80, 7));
    EXPECT_FALSE(mSMARTCall::IsBitSet(0x7F, 7));
    EXPECT_TRUE(mSMARTCall::IsBitSet(0x01, 0));
}

TEST(SmartRequests, BytesOfEveryRequestForBothFamilies) {
    const auto expect = [](const SmartInParams& in, std::uint32_t size,
                           std::array<std::uint8_t, 7> registers, std::uint8_t slot) {
        SmartInParams wanted{};
        wanted[0] = static_cast<std::uint8_t>(size);
        wanted[1] = static_cast<std::uint8_t>(size >> 8);
        std::copy(registers.begin(), registers.end(), wanted.begin() + 4);
        wanted[12] = slot;
        EXPECT_EQ(in, wanted);
    };
    for (std::uint8_t slot = 0; slot < 4; ++slot) {
        const std::uint8_t nonNT = slot % 2 ? 0xB0 : 0xA0;
        expect(mSMARTCall::EnableSmartParams(slot), 0, {0xD8, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0}, slot);
        for (const bool nt : {true, false}) {
            const std::uint8_t head = nt ? 0xA0 : nonNT;
            SCOPED_TRACE(std::to_string(slot) + (nt ? " NT" : " non-NT"));
            expect(mSMARTCall::IdentifyParams(slot, nt), 512, {0, 1, 1, 0, 0, head, 0xEC}, slot);
            expect(mSMARTCall::ReadAttributesParams(slot, nt), 512,
                   {0xD0, 1, 1, 0x4F, 0xC2, head, 0xB0}, slot);
            expect(mSMARTCall::ReadThresholdsParams(slot, nt), 512,
                   {0xD1, 1, 1, 0x4F, 0xC2, head, 0xB0}, slot);
        }
    }
}

TEST(SmartQuery, FullQueryInOrderWithTheHandleClosed) {
    FakeDevice device;
    put(device.identify, 54, "oMed l");
    device.attributes = entries({{194, 0x22, 0, 40, 52}});
    device.thresholds = entries({{194, 7}});
    const DriveInfo info = mSMARTCall::GetDriveInfo(device, 2);
    EXPECT_EQ(device.calls, kFullQuery);
    EXPECT_EQ(info.DriveType, mSMARTDef::kIdeDrive);
    EXPECT_EQ(info.Model.substr(0, 6), "Model ");
    ASSERT_EQ(info.NumAttributes, 1);
    EXPECT_EQ(info.Attributes[0].ThresholdValue, 7);
    EXPECT_FALSE(info.Nvme);
}

TEST(SmartQuery, EachFailingStepEndsTheQueryWithAnEmptyRecord) {
    struct Case {
        const char* name;
        void (*breakIt)(FakeDevice&);
        std::size_t callsMade; ///< calls of kFullQuery before "close"
    };
    const Case cases[] = {
        {"open", [](FakeDevice& d) { d.opens = false; }, 1},
        {"version", [](FakeDevice& d) { d.deviceMap.reset(); }, 2},
        {"slot bit clear", [](FakeDevice& d) { d.deviceMap = 0xFB; }, 2},
        {"enable on ATAPI",
         [](FakeDevice& d) {
             d.deviceMap = 0x44;
             d.answers[0xD8] = false;
         },
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDevice device;
        device.attributes = entries({{1, 0, 0, 1, 1}});
        c.breakIt(device);
        EXPECT_EQ(mSMARTCall::GetDriveInfo(device, 2), DriveInfo{});
        std::vector<std::string> expected(kFullQuery.begin(), kFullQuery.begin() + c.callsMade);
        if (c.callsMade > 1) {
            expected.push_back("close");
        }
        EXPECT_EQ(device.calls, expected);
    }
}

TEST(SmartQuery, FailedReadsLeaveFieldsEmptyAndNothingCarriesOver) {
    FakeDevice device;
    put(device.identify, 20, "ABCD");
    device.attributes = entries({{9, 0, 0, 90, 90}});
    device.thresholds = entries({{9, 5}});
    ASSERT_EQ(mSMARTCall::GetDriveInfo(device, 2).SerialNumber.substr(0, 4), "BADC");

    // The same device refusing each read: the bytes it leaves behind are never parsed, and the
    // earlier drive's identity does not show through.
    device.answers[0xEC] = device.answers[0xD0] = device.answers[0xD1] = false;
    DriveInfo expected;
    expected.DriveType = mSMARTDef::kIdeDrive;
    EXPECT_EQ(mSMARTCall::GetDriveInfo(device, 2), expected);
    EXPECT_EQ(device.calls.size(), 2 * kFullQuery.size());

    device.answers[0xD0] = true;
    const DriveInfo noThresholds = mSMARTCall::GetDriveInfo(device, 2);
    ASSERT_EQ(noThresholds.NumAttributes, 1);
    EXPECT_EQ(noThresholds.Attributes[0].ThresholdValue, 0);
}

TEST(SmartQuery, AtapiBitsOfEverySlotIncludingTheLast) {
    FakeDevice device;
    device.deviceMap = 0x88;
    EXPECT_EQ(mSMARTCall::GetDriveInfo(device, 3).DriveType, mSMARTDef::kAtapiDrive);
    EXPECT_EQ(mSMARTCall::GetDriveInfo(device, 4), DriveInfo{});
    EXPECT_EQ(mSMARTCall::GetDriveInfo(device, -1), DriveInfo{});

    device.winNT = false;
    device.sent.clear();
    mSMARTCall::GetDriveInfo(device, 3);
    ASSERT_EQ(device.sent.size(), 4u);
    EXPECT_EQ(device.sent[0][9], 0xA0); // enable always 0xA0
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(device.sent[i][9], 0xB0);
        EXPECT_EQ(device.sent[i][12], 3);
    }
}

TEST(SmartNvme, IdentityAndHealthPage) {
    FakeDevice device;
    device.nvme = true;
    std::memcpy(device.nvmeIdentifyPage.data() + 4, "S123", 4);
    std::memcpy(device.nvmeIdentifyPage.data() + 24, "NVMe Model", 10);
    std::memcpy(device.nvmeIdentifyPage.data() + 64, "FW1.0   ", 8);
    auto& log = device.nvmeLogPage;
    log[0] = 0x05;
    log[1] = 0x3B; // 315 K
    log[2] = 0x01;
    log[3] = 100;
    log[4] = 10;
    log[5] = 3;
    log[32] = 0x01;
    log[39] = 0x80; // data units read: low half 0x8000000000000001
    log[40] = 0x02; // high half 2
    log[128] = 0xE8;
    log[129] = 0x03; // 1000 hours
    log[175] = 0xFF; // media errors: top byte of the high half

    const DriveInfo info = mSMARTCall::GetDriveInfo(device, 1);
    EXPECT_EQ(device.calls,
              (std::vector<std::string>{"open 1", "nvme identify", "nvme health", "close"}));
    EXPECT_EQ(info.DriveType, mSMARTDef::kNvmeDrive);
    EXPECT_EQ(info.SerialNumber, std::string("S123") + std::string(16, '\0'));
    EXPECT_EQ(info.Model.substr(0, 11), std::string("NVMe Model") + '\0');
    EXPECT_EQ(info.FirmWare, "FW1.0   ");
    ASSERT_TRUE(info.Nvme);
    EXPECT_EQ(info.Nvme->CriticalWarning, 0x05);
    EXPECT_EQ(info.Nvme->TemperatureKelvin, 315);
    EXPECT_EQ(info.Nvme->AvailableSpare, 100);
    EXPECT_EQ(info.Nvme->AvailableSpareThreshold, 10);
    EXPECT_EQ(info.Nvme->PercentageUsed, 3);
    EXPECT_EQ(info.Nvme->DataUnitsRead, (mSMARTDef::Counter128{0x8000000000000001, 2}));
    EXPECT_EQ(info.Nvme->PowerOnHours, (mSMARTDef::Counter128{1000, 0}));
    EXPECT_EQ(info.Nvme->MediaErrors, (mSMARTDef::Counter128{0, 0xFF00000000000000}));

    device.nvmeLogs = false;
    EXPECT_FALSE(mSMARTCall::GetDriveInfo(device, 1).Nvme);
    device.nvmeIdentifies = false;
    EXPECT_EQ(mSMARTCall::GetDriveInfo(device, 1), DriveInfo{});
}
