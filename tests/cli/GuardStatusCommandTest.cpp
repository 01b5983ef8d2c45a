#include "cli/Commands.h"
#include "guard/GuardStatus.h"
#include "testsupport/CommandRun.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace {

testsupport::CommandRun guardStatus(const std::string& stateDir, bool json) {
    CommandLine line;
    line.command = "guard";
    line.operands = {"status"};
    line.stateDir = stateDir;
    line.json = json;
    return testsupport::runCommand(runGuardStatus, line);
}

TEST(GuardStatusCommandTest, ExitsZeroWhenRunningOneWhenNotTwoWhenUnreadable) {
    testsupport::TempDir dir;
    const std::string folder = dir.file("run");
    auto run = guardStatus(folder, false);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "Guard: not running\nNo guard has run on this computer since it started.\n");
    run = guardStatus(folder, true);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "{\"running\": false, \"status\": null}\n");

    // A guard of this test's own process that wrote its status just now, then one that stopped.
    GuardStatus status;
    status.pid = getpid();
    status.updatedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    status.recent = {{status.updatedNs, "/home/x.exe", "Trojan.Foo", "denied", 42, "sh"}};
    for (const bool stopped : {false, true}) {
        status.stopped = stopped;
        ASSERT_FALSE(WriteGuardStatus(folder, status));
        run = guardStatus(folder, false);
        EXPECT_EQ(run.code, stopped ? 1 : 0);
        std::string expected;
        for (const std::string& line : GuardStatusLines(&status, !stopped)) {
            expected += line + '\n';
        }
        EXPECT_EQ(run.out, expected);
        run = guardStatus(folder, true);
        const nlohmann::json document = nlohmann::json::parse(run.out);
        EXPECT_EQ(document["running"], !stopped);
        EXPECT_EQ(ParseGuardStatus(document["status"].dump()), status);
    }

    testsupport::writeFile(folder + "/guard.json", "{\"pid\": 12, \"startedNs\": ");
    run = guardStatus(folder, true);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("cannot read the guard status"), std::string::npos) << run.err;
}

} // namespace
