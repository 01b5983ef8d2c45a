#include "cli/Commands.h"
#include "testsupport/CommandRun.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(WindowsCommands, TheUsbLockAndFileEncryptionRunOnWindows) {
    // Each answers for itself: a usage error, or the file it cannot find.
    for (const char* name : {"usb-lock", "encrypt", "decrypt"}) {
        const testsupport::CommandRun run =
            testsupport::runCommand(runKesto, std::vector<std::string>{name, "kesto-no-such-file"});
        EXPECT_EQ(run.code, kExitError) << name;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.find("not available on Windows"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.rfind("kesto: ", 0), 0U) << run.err;
    }
}
