#include "scanner/ProcessTable.h"

#include "ChildPrograms.h"
#include "platform/Processes.h"
#include "platform/ScopedSeam.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/syscall.h>
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

std::size_t openDescriptorCount() {
    const auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

/// Process descriptors the code under test asked for while the guard lived; `failWith` set makes
/// every request fail with that errno, as a kernel without them would.
class OpenerGuard {
public:
    explicit OpenerGuard(int failWith = 0) : m_seam(platform::setProcessDescriptorOpener, &open) {
        s_opened.clear();
        s_failWith = failWith;
    }

    static std::vector<pid_t> opened() {
        std::sort(s_opened.begin(), s_opened.end());
        return s_opened;
    }

private:
    static int open(std::int32_t pid) {
        s_opened.push_back(pid);
        if (s_failWith != 0) {
            errno = s_failWith;
            return -1;
        }
        return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    }
    static inline std::vector<pid_t> s_opened;
    static inline int s_failWith = 0;
    const platform::ScopedSeam<platform::ProcessDescriptorOpener> m_seam;
};

/// Two copies of one program, and a program whose path starts with theirs.
struct CopiesAndNeighbour {
    TempDir dir;
    ChildPrograms children;
    std::string program = dir.file("worm");
    std::vector<pid_t> copies;
    pid_t neighbour = 0;

    CopiesAndNeighbour() {
        ChildPrograms::copyProgram(program);
        ChildPrograms::copyProgram(program + "-helper");
        copies = {children.start(program), children.start(program)};
        std::sort(copies.begin(), copies.end());
        neighbour = children.start(program + "-helper");
    }

    /// Reaps every child; expects the copies killed and the neighbour still running.
    void expectOnlyCopiesKilled() {
        EXPECT_EQ(children.end(copies[0]), SIGKILL);
        EXPECT_EQ(children.end(copies[1]), SIGKILL);
        EXPECT_EQ(children.end(neighbour), SIGTERM);
    }
};

TEST(ProcessTable, OneCallEndsEveryCopyThroughAProcessDescriptor) {
    CopiesAndNeighbour run;
    const std::size_t fdsBefore = openDescriptorCount();
    OpenerGuard opener;

    EXPECT_EQ(EndRunningProcess(run.program), 2u);
    // Only matching processes are pinned, and every descriptor is closed again.
    EXPECT_EQ(opener.opened(), run.copies);
    EXPECT_EQ(openDescriptorCount(), fdsBefore);
    run.expectOnlyCopiesKilled();
    EXPECT_EQ(EndRunningProcess(run.program), 0u);
}

TEST(ProcessTable, WithoutProcessDescriptorsTheIdIsCheckedThenSignalled) {
    for (const int error : {ENOSYS, EPERM}) {
        SCOPED_TRACE(error);
        CopiesAndNeighbour run;
        OpenerGuard opener(error);
        EXPECT_EQ(EndRunningProcess(run.program), 2u);
        run.expectOnlyCopiesKilled();
    }
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
    EXPECT_EQ(table.TerminateProcessByPath(dir.file("worm")), 0u);
    EXPECT_EQ(table.TerminateProcessByPath(dir.path() + "//Worm"), 0u);
    EXPECT_EQ(table.TerminateProcessByPath(dir.file("Wor")), 0u);
    EXPECT_EQ(table.TerminateProcessByPath(replaced), 0u);
    EXPECT_EQ(table.TerminateProcessByPath(""), 0u);
    EXPECT_EQ(children.end(running), SIGTERM);
    EXPECT_EQ(children.end(orphan), SIGTERM);
}

TEST(ProcessTable, ADeletedProgramIsNotTakenForAFileNamedWithTheDeletedMark) {
    TempDir dir;
    ChildPrograms children;
    const std::string old = dir.file("old");
    ChildPrograms::copyProgram(old);
    const pid_t orphan = children.start(old);
    std::filesystem::remove(old);
    const std::string marked = old + " (deleted)";
    ChildPrograms::copyProgram(marked);
    const pid_t running = children.start(marked);

    ProcessTable table;
    table.SnapshotProcesses();
    ASSERT_EQ(pidsRunning(table, marked).size(), 2u) << "both read the same executable path";
    EXPECT_EQ(table.TerminateProcessByPath(marked), 1u);
    EXPECT_EQ(children.end(running), SIGKILL);
    EXPECT_EQ(children.end(orphan), SIGTERM);
}

TEST(ProcessTable, AProcessIsSignalledOnlyWhileItRunsTheFile) {
    TempDir dir;
    ChildPrograms children;
    const std::string program = dir.file("worm");
    ChildPrograms::copyProgram(program);
    ChildPrograms::copyProgram(dir.file("other"));
    const pid_t pid = children.start(program);
    const pid_t ghost = children.start(program);
    // An unreaped dead child still has its id but no executable.
    ::kill(ghost, SIGKILL);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(ghost), &info, WEXITED | WNOWAIT), 0);

    using platform::Termination;
    EXPECT_EQ(platform::terminateProcessRunning(pid, dir.file("other")), Termination::NotRunning);
    EXPECT_EQ(platform::terminateProcessRunning(ghost, program), Termination::NotRunning);
    EXPECT_EQ(platform::terminateProcessRunning(pid, program), Termination::Ended);
    EXPECT_EQ(children.end(pid), SIGKILL);
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
