#include "guard/GuardStatus.h"

#include "testsupport/LinkSupport.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

using testsupport::TempDir;

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kStarted = 1'796'901'839 * kSecond; // 2026-12-10 11:23:59 UTC

GuardStatus sampleStatus() {
    GuardStatus status;
    status.pid = 1234;
    status.startedNs = kStarted;
    status.updatedNs = kStarted + 600 * kSecond;
    status.watched = {"/home", "/tmp"};
    status.deadlineNs = 2'500'000'000;
    status.failClosed = true;
    status.onDetection = "quarantine";
    status.counts = {1520, 2, 3, 1, 1, 4, 5};
    status.recent = {
        {kStarted + 362 * kSecond, "/home/a/x.exe", "Trojan.Foo", "denied", 4321, "bash"},
        {kStarted + 400 * kSecond, "/tmp/\xc3\xa9\n.com", "EICAR", "quarantined", 0, ""}};
    return status;
}

TEST(GuardStatus, FileIsWrittenWholeAndReadBackTheSame) {
    TempDir dir;
    const std::string folder = dir.file("run/kesto");
    std::error_code error;
    EXPECT_FALSE(ReadGuardStatus(folder, error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);

    ASSERT_FALSE(WriteGuardStatus(folder, sampleStatus()));
    EXPECT_EQ(ReadGuardStatus(folder, error), sampleStatus());
    GuardStatus extreme; // every field at its edge, and a shorter file than before
    extreme.pid = INT32_MAX;
    extreme.startedNs = INT64_MIN;
    extreme.updatedNs = INT64_MAX;
    extreme.stopped = true;
    extreme.counts.checked = UINT64_MAX;
    ASSERT_FALSE(WriteGuardStatus(folder, extreme));
    EXPECT_EQ(ReadGuardStatus(folder, error), extreme);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

    std::string padded = GuardStatusJson(sampleStatus());
    padded.insert(1, std::string(2 << 20, ' '));
    testsupport::writeFile(dir.file("huge/guard.json"), padded);
    EXPECT_FALSE(ReadGuardStatus(dir.file("huge"), error));
    EXPECT_EQ(error, std::errc::file_too_large);
    if (testsupport::linksAreVisible()) {
        std::filesystem::create_directory(dir.file("linked"));
        std::filesystem::create_symlink(folder + "/guard.json", dir.file("linked/guard.json"));
        EXPECT_FALSE(ReadGuardStatus(dir.file("linked"), error));
        EXPECT_TRUE(error);
    }
}

TEST(GuardStatus, ParseTakesNothingButAStatusAndKeepsItsLimits) {
    const char* const hostile[] = {
        "",
        "[]",
        "{}",
        R"({"pid": 0, "startedNs": 1, "updatedNs": 2})",
        R"({"pid": 2147483648, "startedNs": 1, "updatedNs": 2})",
        R"({"pid": "7", "startedNs": 1, "updatedNs": 2})",
        R"({"pid": 7, "startedNs": 1e3, "updatedNs": 2})",
        R"({"pid": 7, "startedNs": 1, "updatedNs": 9223372036854775808})",
        R"({"pid": 7, "startedNs": 1, "updatedNs": 2, "watched": ["/home", 3]})",
        R"({"pid": 7, "startedNs": 1, "updatedNs": 2, "counts": {"checked": -1}})",
        R"({"pid": 7, "startedNs": 1, "updatedNs": 2, "recent": [{"pid": "1"}]})",
    };
    for (const char* text : hostile) {
        EXPECT_FALSE(ParseGuardStatus(text)) << text;
    }
    EXPECT_FALSE(ParseGuardStatus(std::string(200'000, '[') + std::string(200'000, ']')));

    std::string text = R"({"pid": 7, "startedNs": 1, "updatedNs": 2, "new": 0, "watched": ["/w")";
    for (int i = 1; i < 1000; ++i) {
        text += ", \"/w" + std::to_string(i) + "\"";
    }
    text += R"(], "recent": [{"timeNs": 0})";
    for (int i = 1; i < 50; ++i) {
        text += ", {\"timeNs\": " + std::to_string(i) + "}";
    }
    const std::optional<GuardStatus> status = ParseGuardStatus(text + "]}");
    ASSERT_TRUE(status);
    ASSERT_EQ(status->watched.size(), 256u);
    EXPECT_EQ(status->watched.back(), "/w255");
    ASSERT_EQ(status->recent.size(), 10u);
    EXPECT_EQ(status->recent.front().timeNs, 40);
}

TEST(GuardStatus, RunningOnlyWhileFreshNotStoppedAndItsProcessLives) {
    const auto alive = [](std::int32_t pid) { return pid == 1234; };
    GuardStatus status = sampleStatus();
    const std::int64_t updated = status.updatedNs;
    EXPECT_TRUE(GuardRunning(status, updated + 4 * kSecond, alive));
    EXPECT_TRUE(GuardRunning(status, updated - kSecond, alive)); // a clock set back a little
    EXPECT_FALSE(GuardRunning(status, updated + 6 * kSecond, alive));
    EXPECT_FALSE(GuardRunning(status, updated - 3600 * kSecond, alive));
    status.updatedNs = INT64_MIN; // no time read from a file overflows the comparison
    EXPECT_FALSE(GuardRunning(status, INT64_MAX, alive));
    status.updatedNs = updated;
    status.stopped = true;
    EXPECT_FALSE(GuardRunning(status, updated, alive));
    status.stopped = false;
    status.pid = 99;
    EXPECT_FALSE(GuardRunning(status, updated, alive));
#ifndef _WIN32
    // By this computer's clock and processes: this test runs; a child that died does not.
    status.pid = getpid();
    status.updatedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    EXPECT_TRUE(GuardRunningNow(status));
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
    status.pid = child;
    EXPECT_FALSE(GuardRunningNow(status)) << "not yet collected";
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(GuardRunningNow(status));
#endif
}

TEST(GuardStatus, LinesSayWhetherItRunsAndWhatItFound) {
    GuardStatus status = sampleStatus();
    EXPECT_EQ(
        GuardStatusLines(&status, true),
        (std::vector<std::string>{
            "Guard: running (pid 1234) since 2026-12-10 11:23:59 UTC", "Watching: /home, /tmp",
            "Exec deadline: 2.5 s (then denied)  On detection: quarantine",
            "Checked: 1520  Denied: 2  Unchecked: 3  Written files listed: 1 (quarantined 1)",
            "Log records dropped: 4  Event queue overflows: 5", "Last detections:",
            "  2026-12-10 11:30:01 UTC  denied        /home/a/x.exe  Trojan.Foo  (pid 4321, "
            "bash)",
            "  2026-12-10 11:30:39 UTC  quarantined   /tmp/\xc3\xa9\\x0a.com  EICAR"}));
    EXPECT_EQ(GuardSummaryLine(&status, true), "Guard: running since 2026-12-10 11:23:59 UTC");

    EXPECT_EQ(GuardStatusLines(&status, false).front(),
              "Guard: not running (last seen 2026-12-10 11:33:59 UTC, pid 1234)");
    status.stopped = true;
    EXPECT_EQ(GuardStatusLines(&status, false).front(),
              "Guard: not running (stopped at 2026-12-10 11:33:59 UTC)");
    EXPECT_EQ(GuardSummaryLine(&status, false), "Guard: not running");
    EXPECT_EQ(GuardStatusLines(nullptr, false),
              (std::vector<std::string>{"Guard: not running",
                                        "No guard has run on this computer since it started."}));
}

} // namespace
