#include "cli/Commands.h"
#include "testsupport/CommandRun.h"
#include "testsupport/FakeSmartDevice.h"

#include <gtest/gtest.h>

using platform::SmartKind;
using platform::SmartSlot;
using testsupport::CommandRun;
using testsupport::FakeSmartDevice;

namespace {

/// The recorded drives behind three slots: a SATA disk, an NVMe drive, and a disk that may not
/// be opened (no rights). Every request goes to one recording device.
struct RecordedSlots {
    FakeSmartDevice device;
    SmartSystem system;

    /// Hands the shared recording device to the command, which owns what it is given.
    struct Borrowed final : platform::SmartDevice {
        FakeSmartDevice& device;
        bool lastRefused = false;
        explicit Borrowed(FakeSmartDevice& recording) : device(recording) {}
        std::unique_ptr<platform::SmartHandle> open(int slot) override {
            lastRefused = slot == 2;
            return lastRefused ? nullptr : device.open(slot);
        }
        std::error_code lastError() const override {
            return lastRefused ? std::make_error_code(std::errc::permission_denied)
                               : std::error_code();
        }
    };

    RecordedSlots() {
        testsupport::recordedReplies(device);
        device.nvmeSlots = {1};
        system.slots = [] {
            return std::vector<SmartSlot>{{"sda", "/dev/sda", SmartKind::AtaDisk},
                                          {"nvme0n1", "/dev/nvme0", SmartKind::Nvme},
                                          {"sdb", "/dev/sdb", SmartKind::AtaDisk}};
        };
        system.slotDevice = [this](const std::vector<SmartSlot>&) {
            return std::make_unique<Borrowed>(device);
        };
    }

    CommandRun run(bool json) {
        CommandLine line;
        line.command = "smart";
        line.json = json;
        return testsupport::runCommand(runSmartWith, line, system);
    }
};

const char* const kReport = "PRIMARY_MASTER: \n"
                            "[IDE drive]\n"
                            "Model: SAMPLE DISK 1000\n"
                            "FirmWare: 01.01A01\n"
                            "SerialNumber: SN-SAMPLE001\n"
                            "Cilinders: 16383\n"
                            "Heads: 16\n"
                            "SecPerTrack: 63\n"
                            "Device: /dev/sda\n"
                            "Attribute Name          Value  Threshold  WorstValue  Status\n"
                            "------------------------------------------------------------\n"
                            "READ_ERROR_RATE          117\t    6\t      99\t &HF\n"
                            "REALLOC_SECTOR_COUNT     100\t   10\t     100\t&H33\n"
                            "POWER_ON_HRS_COUNT        91\t    0\t      91\t&H32\n"
                            "TEMPERATURE               36\t    0\t      52\t&H22\n"
                            "CURRENT_PENDING_SECTOR_COUNT 100\t    0\t     100\t&H12\n"
                            "\n"
                            "  1 READ_ERROR_RATE              OK                 raw 126693216\n"
                            "  5 REALLOC_SECTOR_COUNT         OK                 raw 0\n"
                            "  9 POWER_ON_HRS_COUNT           OK                 raw 8236\n"
                            "194 TEMPERATURE                  OK                 raw 206159609892\n"
                            "197 CURRENT_PENDING_SECTOR_COUNT OK                 raw 2\n"
                            "Health: OK\n"
                            "\n"
                            "PRIMARY_SLAVE: \n"
                            "[NVMe drive]\n"
                            "Model: NVMe SAMPLE 1TB\n"
                            "FirmWare: NVFW0102\n"
                            "SerialNumber: NV-SAMPLE-0042\n"
                            "Device: /dev/nvme0\n"
                            "Health Item                 Value\n"
                            "------------------------------------------------------------\n"
                            "Critical Warning            &H0\n"
                            "Temperature                 46 \xC2\xB0"
                            "C\n"
                            "Available Spare             100 %\n"
                            "Available Spare Threshold   10 %\n"
                            "Percentage Used             2 %\n"
                            "Data Units Read             123456 (63209472000 bytes)\n"
                            "Data Units Written          10000 (5120000000 bytes)\n"
                            "Power Cycles                120\n"
                            "Power On Hours              1234\n"
                            "Unsafe Shutdowns            7\n"
                            "Media Errors                0\n"
                            "Health: OK\n"
                            "\n"
                            "SECONDARY_MASTER: \n"
                            "[Not present]\n"
                            "Device: /dev/sdb\n"
                            "\n"
                            "SECONDARY_SLAVE: \n"
                            "[Not present]\n";

const char* const kJson = R"({
  "drives": [
    {"name": "PRIMARY_MASTER",
     "device": "/dev/sda",
     "type": "ide",
     "model": "SAMPLE DISK 1000",
     "firmware": "01.01A01",
     "serial": "SN-SAMPLE001",
     "cylinders": 16383, "heads": 16, "sectorsPerTrack": 63,
     "attributes": [
        {"id": 1, "name": "READ_ERROR_RATE", "value": 117, "threshold": 6, "worst": 99, "flags": 15, "raw": 126693216},
        {"id": 5, "name": "REALLOC_SECTOR_COUNT", "value": 100, "threshold": 10, "worst": 100, "flags": 51, "raw": 0},
        {"id": 9, "name": "POWER_ON_HRS_COUNT", "value": 91, "threshold": 0, "worst": 91, "flags": 50, "raw": 8236},
        {"id": 194, "name": "TEMPERATURE", "value": 36, "threshold": 0, "worst": 52, "flags": 34, "raw": 206159609892},
        {"id": 197, "name": "CURRENT_PENDING_SECTOR_COUNT", "value": 100, "threshold": 0, "worst": 100, "flags": 18, "raw": 2}
      ],
     "summary": "Health: OK"},
    {"name": "PRIMARY_SLAVE",
     "device": "/dev/nvme0",
     "type": "nvme",
     "model": "NVMe SAMPLE 1TB",
     "firmware": "NVFW0102",
     "serial": "NV-SAMPLE-0042",
     "health": {"criticalWarning": 0, "temperatureKelvin": 319, "availableSpare": 100, "availableSpareThreshold": 10, "percentageUsed": 2, "dataUnitsRead": "123456", "dataUnitsWritten": "10000", "powerCycles": "120", "powerOnHours": "1234", "unsafeShutdowns": "7", "mediaErrors": "0"},
     "summary": "Health: OK"},
    {"name": "SECONDARY_MASTER",
     "device": "/dev/sdb",
     "type": "not present"},
    {"name": "SECONDARY_SLAVE",
     "device": null,
     "type": "not present"}
  ]
}
)";

} // namespace

TEST(SmartSlots, RecordedDrivesGiveTheSameReportOnEverySystem) {
    RecordedSlots slots;
    const CommandRun text = slots.run(false);
    EXPECT_EQ(text.code, kExitError);
    EXPECT_EQ(text.err, "kesto: cannot query '/dev/sdb': permission denied: reading SMART data "
                        "needs " +
                            std::string(platform::smartRightsName()) + "\n");
    EXPECT_EQ(text.out, kReport);
    EXPECT_EQ(slots.device.calls,
              (std::vector<std::string>{"open 0", "version", "command 7C084 D8 16",
                                        "command 7C088 EC 528", "command 7C088 D0 528",
                                        "command 7C088 D1 528", "close", "open 1", "nvme identify",
                                        "nvme health", "close"}));

    // The same drives as one JSON document; the slots are asked afresh.
    slots.device.calls.clear();
    const CommandRun json = slots.run(true);
    EXPECT_EQ(json.code, kExitError);
    EXPECT_EQ(json.out, kJson);
    EXPECT_EQ(json.err, text.err);
    EXPECT_EQ(slots.device.calls.size(), 11u);
}
