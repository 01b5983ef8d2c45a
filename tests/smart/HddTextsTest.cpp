#include "smart/HddTexts.h"

#include "platform/SmartDevice.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using mSMARTDef::AttrData;
using mSMARTDef::DriveInfo;

namespace {

DriveInfo ideDrive(std::vector<AttrData> attributes) {
    DriveInfo info;
    info.DriveType = mSMARTDef::kIdeDrive;
    info.Model = "  DISK\0MODEL 1  "s;
    info.FirmWare = "FW01    ";
    info.SerialNumber = "   S123";
    info.Cilinders = 16383;
    info.Heads = -16;
    info.SecPerTrack = 63;
    info.NumAttributes = std::uint8_t(attributes.size());
    info.Attributes = std::move(attributes);
    info.Attributes.emplace_back();
    return info;
}

AttrData attr(std::uint8_t id, std::string name, std::uint8_t value, std::uint8_t threshold,
              std::uint8_t worst, std::uint32_t flags, std::uint64_t raw = 0) {
    return {id, std::move(name), value, threshold, worst, flags, raw};
}

const std::string kTableHead = "Attribute Name          Value  Threshold  WorstValue  Status\r\n" +
                               std::string(60, '-') + "\r\n";

} // namespace

TEST(HddTexts, HeaderOfAbsentAndAtapiSlotsHasNoTable) {
    DriveInfo absent;
    EXPECT_EQ(HddTexts::Header("SECONDARY_SLAVE", absent), "SECONDARY_SLAVE: \r\n[Not present]");
    EXPECT_EQ(HddTexts::Table(absent), "");
    DriveInfo atapi;
    atapi.DriveType = mSMARTDef::kAtapiDrive;
    atapi.Model = "CDROM";
    EXPECT_EQ(HddTexts::Header("PRIMARY_SLAVE", atapi),
              "PRIMARY_SLAVE: \r\n[ATAPI drive - info not available]");
    EXPECT_EQ(HddTexts::Table(atapi), "");
    EXPECT_EQ(HddTexts::HealthSummary(atapi), "");
}

TEST(HddTexts, IdeHeaderTrimsBlanksOnlyAndKeepsNul) {
    EXPECT_EQ(HddTexts::Header("PRIMARY_MASTER", ideDrive({})),
              "PRIMARY_MASTER: \r\n[IDE drive]\r\nModel: DISK\0MODEL 1\r\nFirmWare: FW01\r\n"
              "SerialNumber: S123\r\nCilinders: 16383\r\nHeads: -16\r\nSecPerTrack: 63\r\n"s);
    EXPECT_EQ(HddTexts::TrimBlanks("\t x \0"s), "\t x \0"s);
    EXPECT_EQ(HddTexts::TrimBlanks("    "), "");
}

TEST(HddTexts, TableRowsAlignLikeTheClassicWindow) {
    const auto info = ideDrive({attr(194, "TEMPERATURE", 40, 0, 52, 0x22),
                                attr(1, "READ_ERROR_RATE", 100, 6, 99, 0),
                                attr(5, "REALLOC_SECTOR_COUNT", 7, 140, 200, 0x33),
                                attr(197, "CURRENT_PENDING_SECTOR_COUNT", 100, 0, 100, 0x1032)});
    EXPECT_EQ(HddTexts::Table(info),
              kTableHead + "TEMPERATURE" + std::string(14, ' ') + " 40\t    0\t      52\t&H22\r\n" +
                  "READ_ERROR_RATE          100\t    6\t      99\t &H0\r\n" +
                  "REALLOC_SECTOR_COUNT       7\t  140\t     200\t&H33\r\n" +
                  "CURRENT_PENDING_SECTOR_COUNT 100\t    0\t     100\t&H1032\r\n");
}

TEST(HddTexts, LongAttributeNamesKeepOneBlankBeforeTheirValue) {
    const auto info = ideDrive({attr(196, "REALLOCATION_EVENTS_COUNT", 100, 0, 100, 0x32),
                                attr(198, "UNCORRECTABLE_SECTOR_COUNT", 9, 0, 100, 0x10),
                                attr(197, "CURRENT_PENDING_SECTOR_COUNT", 99, 0, 100, 0x12),
                                attr(1, "READ_ERROR_RATE_OF_24_CH", 200, 6, 99, 0)});
    EXPECT_EQ(HddTexts::Table(info),
              kTableHead + "REALLOCATION_EVENTS_COUNT 100\t    0\t     100\t&H32\r\n" +
                  "UNCORRECTABLE_SECTOR_COUNT  9\t    0\t     100\t&H10\r\n" +
                  "CURRENT_PENDING_SECTOR_COUNT 99\t    0\t     100\t&H12\r\n" +
                  "READ_ERROR_RATE_OF_24_CH 200\t    6\t      99\t &H0\r\n");
}

TEST(HddTexts, WindowSaysWhyASlotHasNoVerdicts) {
    DriveInfo absent;
    EXPECT_EQ(HddTexts::HealthLine(absent), "Health: no drive in this slot");
    EXPECT_EQ(HddTexts::VerdictsOrReason(absent),
              "No drive answered in this slot, so there is no health data.\r\n"
              "Reading the drives needs " +
                  std::string(platform::smartRightsName()) + ".\r\n");
    DriveInfo atapi;
    atapi.DriveType = mSMARTDef::kAtapiDrive;
    EXPECT_EQ(HddTexts::HealthLine(atapi), "Health: not reported (ATAPI drive)");
    EXPECT_EQ(HddTexts::VerdictsOrReason(atapi),
              "ATAPI drives (optical drives) report no SMART health data.\r\n");
    EXPECT_EQ(HddTexts::VerdictsOrReason(ideDrive({})),
              "The drive returned no SMART attributes to judge.\r\n");

    // Drives with something to list show the verdicts and the summary themselves.
    const auto judged = ideDrive({attr(3, "SPIN_UP_TIME", 90, 21, 21, 0x27)});
    EXPECT_EQ(HddTexts::VerdictsOrReason(judged), HddTexts::Verdicts(judged));
    EXPECT_EQ(HddTexts::HealthLine(judged), HddTexts::HealthSummary(judged));
    DriveInfo nvme;
    nvme.DriveType = mSMARTDef::kNvmeDrive;
    EXPECT_EQ(HddTexts::VerdictsOrReason(nvme), "The drive's health log could not be read.\r\n");
    nvme.Nvme = mSMARTDef::NvmeHealth{};
    EXPECT_EQ(HddTexts::VerdictsOrReason(nvme), "No critical warning is set.\r\n");
    EXPECT_EQ(HddTexts::HealthLine(nvme), "Health: OK");
}

TEST(HddTexts, FailedAttributeReadShowsTitleAndRuleOnly) {
    EXPECT_EQ(HddTexts::Table(ideDrive({})), kTableHead);
    EXPECT_EQ(HddTexts::HealthSummary(ideDrive({})), "Health: unknown (no attributes read)");
    // A count beyond the records held never reads past them.
    auto info = ideDrive({attr(9, "POWER_ON_HRS_COUNT", 99, 0, 99, 0x32)});
    info.NumAttributes = 30;
    EXPECT_EQ(HddTexts::Table(info), kTableHead +
                                         "POWER_ON_HRS_COUNT        99\t    0\t      99\t&H32\r\n" +
                                         std::string(25, ' ') + "  0\t    0\t       0\t &H0\r\n");
}

TEST(HddTexts, VerdictsJudgeValueAndWorstAgainstNonZeroThreshold) {
    const auto ok = ideDrive({attr(194, "TEMPERATURE", 40, 0, 1, 0x22, 0x2A0000002C),
                              attr(5, "REALLOC_SECTOR_COUNT", 101, 100, 101, 0x33)});
    EXPECT_EQ(HddTexts::HealthSummary(ok), "Health: OK");
    EXPECT_EQ(HddTexts::Verdicts(ok),
              "194 TEMPERATURE                  OK                 raw 180388626476\r\n"
              "  5 REALLOC_SECTOR_COUNT         OK                 raw 0\r\n");

    const auto past = ideDrive({attr(3, "SPIN_UP_TIME", 90, 21, 21, 0x27)});
    EXPECT_EQ(HddTexts::HealthSummary(past), "Health: failed in the past (SPIN_UP_TIME)");

    const auto failing = ideDrive({attr(3, "SPIN_UP_TIME", 90, 21, 21, 0x27),
                                   attr(5, "REALLOC_SECTOR_COUNT", 36, 36, 36, 0x33),
                                   attr(187, "Unknown value (187)", 1, 97, 1, 0x32)});
    EXPECT_EQ(HddTexts::HealthSummary(failing),
              "Health: FAILING (REALLOC_SECTOR_COUNT, Unknown value (187))");
}

TEST(HddTexts, NvmeDriveShowsItsHealthLog) {
    DriveInfo info;
    info.DriveType = mSMARTDef::kNvmeDrive;
    info.Model = "FAST NVME 1TB   ";
    info.FirmWare = "1.0     ";
    info.SerialNumber = "SN42  ";
    EXPECT_EQ(HddTexts::Header("PRIMARY_SLAVE", info),
              "PRIMARY_SLAVE: \r\n[NVMe drive]\r\nModel: FAST NVME 1TB\r\nFirmWare: 1.0\r\n"
              "SerialNumber: SN42\r\n");
    EXPECT_EQ(HddTexts::HealthSummary(info), "Health: unknown (health log not read)");

    mSMARTDef::NvmeHealth health;
    health.CriticalWarning = 0x05;
    health.TemperatureKelvin = 313;
    health.AvailableSpare = 100;
    health.AvailableSpareThreshold = 10;
    health.PercentageUsed = 103;
    health.DataUnitsRead = {12345, 0};
    health.DataUnitsWritten = {0, 1};
    health.PowerOnHours = {~0ULL, ~0ULL};
    info.Nvme = health;
    const std::string table = HddTexts::Table(info);
    for (const char* row :
         {"Temperature                 40 \u00B0C\r\n", "Percentage Used             103 %\r\n",
          "Data Units Read             12345 (6320640000 bytes)\r\n",
          "Data Units Written          18446744073709551616 "
          "(9444732965739290427392000 bytes)\r\n",
          "Power On Hours              340282366920938463463374607431768211455\r\n",
          "Media Errors                0\r\n"}) {
        EXPECT_NE(table.find(row), std::string::npos) << row;
    }
    EXPECT_EQ(HddTexts::Verdicts(info),
              "Critical warning: available spare below threshold\r\n"
              "Critical warning: reliability degraded by media or internal errors\r\n");
    EXPECT_EQ(HddTexts::HealthSummary(info),
              "Health: WARNING (available spare below threshold, reliability degraded by media or "
              "internal errors)");
}
