#include "cli/Commands.h"
#include "testsupport/CommandRun.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(WindowsCommands, CommandsWithoutAWindowsBackendSaySoAndFail) {
    for (const char* name : {"info", "smart", "usb-lock", "encrypt", "decrypt"}) {
        const testsupport::CommandRun run =
            testsupport::runCommand(runKesto, std::vector<std::string>{name, "x"});
        EXPECT_EQ(run.code, kExitError) << name;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, std::string("kesto: '") + name + "' is not available on Windows yet\n");
    }
}
