#include "scanner/ProcessTable.h"

#include "ChildPrograms.h"
#include "platform/Processes.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testsupport::ChildPrograms;
using testsupport::TempDir;

std::vector<pid_t> pidsRunning(const ProcessTable& table, const std::string& path) {
    std::vector<pid_t> pids;
    for (const auto& entry : table.entries()) {
        if (entry.path == path) {
            pids.push_back(entry.pid);
        }
    }
    return pids;
}

TEST(ProcessTable, EachTerminationEndsOnlyTheFirstRecordedCopy) {
    TempDir dir;
    ChildPrograms children;
    const std::string program = dir.file("worm");
    ChildPrograms::copyProgram(program);
    std::vector<pid_t> started = {children.start(program), children.start(program),
                                  children.start(program)};

    ProcessTable table;
    table.SnapshotProcesses();
    const std::vector<pid_t> recorded = pidsRunning(table, program);
    std::sort(started.begin(), started.end());
    ASSERT_EQ(recorded, started) << "the snapshot lists processes by ascending id";

    table.TerminateProcessByPath(program);
    // Reaped before the next snapshot, which could otherwise still see it dying.
    EXPECT_EQ(children.end(recorded[0]), SIGKILL);
    EndRunningProcess(program);
    EXPECT_EQ(children.end(recorded[1]), SIGKILL);
    EXPECT_EQ(children.end(recorded[2]), SIGTERM);
}

TEST(ProcessTable, OnlyTheExactLivePathMatches) {
    TempDir dir;
    ChildPrograms children;
    const std::string program = dir.file("Worm");
    ChildPrograms::copyProgram(program);
    const pid_t running = children.start(program);
    // A program whose file was replaced runs the old, deleted file, not the one now at its path.
    const std::string replaced = dir.file("old");
    ChildPrograms::copyProgram(replaced);
    const pid_t orphan = children.start(replaced);
    std::filesystem::remove(replaced);
    ChildPrograms::copyProgram(replaced);

    ProcessTable table;
    table.SnapshotProcesses();
    EXPECT_EQ(pidsRunning(table, replaced + " (deleted)"), std::vector<pid_t>{orphan});
    table.TerminateProcessByPath(dir.file("worm"));
    table.TerminateProcessByPath(dir.path() + "//Worm");
    table.TerminateProcessByPath(replaced);
    table.TerminateProcessByPath("");
    EXPECT_EQ(children.end(running), SIGTERM);
    EXPECT_EQ(children.end(orphan), SIGTERM);
}

TEST(ProcessTable, PathByPID) {
    EXPECT_EQ(PathByPID(::getpid()), std::filesystem::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(PathByPID(INT_MAX), "");
    EXPECT_EQ(PathByPID(0), "");
}

TEST(Processes, ListNamesEachProcessByItsFileElseItsShortName) {
    TempDir dir;
    ChildPrograms children;
    // Longer than the kernel's 15-character short name, which cuts it.
    const std::string runnerName = "runner-with-a-long-name";
    ChildPrograms::copyProgram(dir.file(runnerName));
    ChildPrograms::copyProgram(dir.file("ghost"));
    const pid_t runner = children.start(dir.file(runnerName));
    const pid_t ghost = children.start(dir.file("ghost"));
    // An unreaped dead child keeps its entry but no longer has an executable.
    ::kill(ghost, SIGKILL);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(ghost), &info, WEXITED | WNOWAIT), 0);

    const auto processes = platform::listProcesses();
    EXPECT_EQ(std::adjacent_find(processes.begin(), processes.end(),
                                 [](const auto& a, const auto& b) { return a.pid >= b.pid; }),
              processes.end());
    const auto find = [&](pid_t pid) {
        return std::find_if(processes.begin(), processes.end(),
                            [pid](const auto& p) { return p.pid == pid; });
    };
    ASSERT_NE(find(runner), processes.end());
    EXPECT_EQ(find(runner)->path, dir.file(runnerName));
    EXPECT_EQ(find(runner)->name, runnerName);
    ASSERT_NE(find(ghost), processes.end());
    EXPECT_EQ(find(ghost)->path, "");
    EXPECT_EQ(find(ghost)->name, "ghost");
}

} // namespace
