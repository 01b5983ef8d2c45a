#include "cli/Commands.h"
#include "cli/SmartReport.h"
#include "testsupport/CommandRun.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::CommandRun;
using testsupport::TempDir;
using testsupport::writeFile;

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

TEST(SmartCommand, NamesAndWhatTheDriveSaysArePrintable) {
    SmartEntry entry = ideDrive();
    entry.name = "/tmp/sd\nx";
    entry.device = "/dev/sda";
    entry.info.Model = "Disk\x1b[2J\r\nSerialNumber: forged";
    entry.info.SerialNumber = "S\\N\a";
    const std::string text = SmartText({entry});
    EXPECT_EQ(
        text.rfind(
            "/tmp/sd\\x0ax: \n[IDE drive]\nModel: Disk\\x1b[2J\\x0d\\x0aSerialNumber: forged\n"
            "FirmWare: \nSerialNumber: S\\\\N\\x07\n",
            0),
        0u)
        << text;
    EXPECT_NE(text.find("\nDevice: /dev/sda\n"), std::string::npos);
}

namespace {

/// Runs `kesto smart` over a sysfs tree of the test's own; a drive that passes the checks is
/// handed to a device that records it and answers nothing, so no request reaches a real device.
struct SmartRun {
    TempDir dir;
    SmartSystem system;
    std::vector<platform::SmartSlot> asked;

    SmartRun() {
        system.sysfs = {dir.file("block"), dir.file("class-nvme")};
        writeFile(system.sysfs.nvmeClass + "/nvme0/dev", "259:0\n");
        system.ask =
            [this](platform::CheckedDrive drive) -> std::unique_ptr<platform::SmartDevice> {
            asked.push_back(drive.slot());
            return std::make_unique<Silent>();
        };
    }

    std::pair<int, std::string> operator()(const std::vector<std::string>& operands) {
        CommandLine line;
        line.command = "smart";
        line.operands = operands;
        const CommandRun run = testsupport::runCommand(runSmartWith, line, system);
        EXPECT_EQ(run.out, "");
        return {run.code, run.err};
    }

    struct Silent final : platform::SmartDevice {
        std::unique_ptr<platform::SmartHandle> open(int) override { return nullptr; }
        std::error_code lastError() const override {
            return std::make_error_code(std::errc::io_error);
        }
    };
};

} // namespace

TEST(SmartCommand, DevicesThatCannotBeAskedFailWithTheReasonBeforeAnyRequest) {
    SmartRun run;
    ASSERT_EQ(::mkfifo(run.dir.file("sda").c_str(), 0600), 0);
    writeFile(run.system.sysfs.block + "/sda/dev", "8:0\n");
    std::filesystem::create_directory(run.dir.file("nvme0"));
    std::filesystem::create_symlink("/dev/null", run.dir.file("nvme1"));
    const std::string folder = run.dir.file("");
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"/dev/null", "/dev/null': a character device that is not an NVMe controller"},
        {folder + "sda", folder + "sda': a FIFO, not a drive"},
        {folder + "nvme0", folder + "nvme0': a folder, not a drive"},
        {folder + "nvme1", folder + "nvme1': a character device that is not an NVMe controller"},
        {folder + "missing", folder + "missing': no such device"},
        {folder + "sd\na", folder + "sd\\x0aa': the name holds control characters"},
    };
    for (const auto& [path, message] : refused) {
        const auto expected =
            std::make_pair(int(kExitError), "kesto: cannot query '" + message + "\n");
        // The same on this system and on one that lists a disk "sda" and a controller "nvme0".
        const CommandRun kesto =
            testsupport::runCommand(runKesto, std::vector<std::string>{"smart", path});
        EXPECT_EQ(std::make_pair(kesto.code, kesto.err), expected);
        EXPECT_EQ(kesto.out, "");
        EXPECT_EQ(run({path}), expected);
    }
    EXPECT_TRUE(run.asked.empty());

    // A drive the system lists by that device number is opened and asked (here by a device that
    // answers nothing), and its silence is a failure with the reason.
    writeFile(run.system.sysfs.nvmeClass + "/nvme0/dev", "1:3\n");
    EXPECT_EQ(
        run({folder + "nvme1"}),
        std::make_pair(int(kExitError), "kesto: cannot query '" + folder +
                                            "nvme1': the drive refused the SMART requests\n"));
    EXPECT_EQ(run.asked, (std::vector<platform::SmartSlot>{
                             {"nvme0", "/dev/nvme0", platform::SmartKind::Nvme}}));
}
