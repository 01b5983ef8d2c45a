#include "cli/Commands.h"
#include "testsupport/CommandRun.h"

#include <gtest/gtest.h>

using testsupport::CommandRun;

// What `kesto smart DEVICE` refuses on Windows before any request: only "\\.\PhysicalDriveN"
// names a drive, and a number without a drive is no such device.
TEST(WindowsSmart, OnlyPhysicalDrivesAreOpened) {
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"C:\\Windows", "not a whole disk: give it as \\\\.\\PhysicalDriveN"},
        {"\\\\.\\C:", "not a whole disk: give it as \\\\.\\PhysicalDriveN"},
        {"\\\\.\\PhysicalDrive0\\..\\C:", "not a whole disk: give it as \\\\.\\PhysicalDriveN"},
        {"\\\\.\\PhysicalDrive999", "no such device"},
        {"\\\\.\\PhysicalDrive1\x1b", "the name holds control characters"},
    };
    for (const auto& [device, reason] : refused) {
        const CommandRun run =
            testsupport::runCommand(runKesto, std::vector<std::string>{"smart", device});
        EXPECT_EQ(run.code, kExitError) << device;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("kesto: cannot query '", 0), 0u) << run.err;
        EXPECT_TRUE(run.err.ends_with("': " + reason + "\n")) << run.err;
    }
}
