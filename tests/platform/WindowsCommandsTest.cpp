#include "cli/Commands.h"

#include <gtest/gtest.h>
#include <sstream>

TEST(WindowsCommands, CommandsWithoutAWindowsBackendSaySoAndFail) {
    for (const char* name : {"info", "smart", "usb-lock", "encrypt", "decrypt"}) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(runKesto({name, "x"}, {out, err}), kExitError) << name;
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(),
                  std::string("kesto: '") + name + "' is not available on Windows yet\n");
    }
}
