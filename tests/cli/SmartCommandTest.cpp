#include "cli/Commands.h"
#include "cli/SmartReport.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

SmartEntry ideDrive() {
    SmartEntry entry{"/dev/sda", "/dev/sda", {}};
    mSMARTDef::DriveInfo& info = entry.info;
    info.DriveType = mSMARTDef::kIdeDrive;
    info.Model = std::string("  Disk\xE9") + '\0' + "  ";
    info.NumAttributes = 1;
    info.Attributes = {{9, "POWER_ON_HRS_COUNT", 95, 0, 95, 0x32, 4321}, {}};
    return entry;
}

} // namespace

TEST(SmartCommand, ReportsKeepEveryByteAndUseLineFeeds) {
    SmartEntry nvme{"SECONDARY_MASTER", "/dev/nvme0", {}};
    nvme.info.DriveType = mSMARTDef::kNvmeDrive;
    nvme.info.Nvme = mSMARTDef::NvmeHealth{};
    nvme.info.Nvme->DataUnitsRead = {0, 1};
    const std::vector<SmartEntry> entries = {ideDrive(), nvme, {"SECONDARY_SLAVE", {}, {}}};

    const std::string text = SmartText(entries);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_NE(text.find("SECONDARY_MASTER: \n"), std::string::npos);
    EXPECT_NE(text.find("Device: /dev/nvme0\n"), std::string::npos);
    EXPECT_EQ(text.find("Device: /dev/sda"), std::string::npos); // already the header's name
    EXPECT_TRUE(text.ends_with("SECONDARY_SLAVE: \n[Not present]\n"));

    const std::string json = SmartJson(entries);
    EXPECT_NE(json.find(R"("model": "Disk\udce9\u0000")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"({"id": 9, "name": "POWER_ON_HRS_COUNT", "value": 95, "threshold": 0, )"
                        R"("worst": 95, "flags": 50, "raw": 4321})"),
              std::string::npos);
    EXPECT_NE(json.find(R"("dataUnitsRead": "18446744073709551616")"), std::string::npos);
    EXPECT_NE(json.find(R"({"name": "SECONDARY_SLAVE",
     "device": null,
     "type": "not present"})"),
              std::string::npos);
}

TEST(SmartCommand, DevicesThatCannotBeAskedFailWithTheReason) {
    const auto run = [](const std::vector<std::string>& arguments) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = runKesto(arguments, {out, err});
        EXPECT_EQ(out.str(), "");
        return std::make_pair(code, err.str());
    };
    EXPECT_EQ(
        run({"smart", "/nonexistent/sda"}),
        std::make_pair(int(kExitError),
                       std::string("kesto: cannot query '/nonexistent/sda': no such device\n")));
    EXPECT_EQ(run({"smart", "/dev/null"}).first, kExitError);
    EXPECT_EQ(
        run({"smart", "/dev/sda", "/dev/sdb"}),
        std::make_pair(int(kExitError), std::string("kesto: smart takes at most one DEVICE\n")));
}
