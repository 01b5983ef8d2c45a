#include "tools/TaskList.h"

#include "../scanner/ChildPrograms.h"
#include "platform/Processes.h"
#include "platform/ScopedSeam.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <map>

using testsupport::ChildPrograms;
using testsupport::TempDir;

namespace {

const TaskList::TaskRow* rowOf(const std::vector<TaskList::TaskRow>& rows, std::int32_t pid) {
    const auto found = std::find_if(rows.begin(), rows.end(),
                                    [pid](const TaskList::TaskRow& row) { return row.pid == pid; });
    return found == rows.end() ? nullptr : &*found;
}

} // namespace

TEST(TaskRows, KeepSnapshotOrderAndMarkUnreadablePathsProtected) {
    const std::vector<platform::ProcessInfo> processes = {{305, "bash", "", 7000, false},
                                                          {2, "kthreadd", "", 5, false},
                                                          {77, "defunct", "", 60, true},
                                                          {41, "editor", "", 900, false}};
    const std::map<std::int32_t, std::string> paths = {{305, "/usr/bin/bash"},
                                                       {41, "/opt/editor (deleted)"}};
    const auto rows = TaskList::BuildRows(processes, [&paths](std::int32_t pid) {
        const auto found = paths.find(pid);
        return found == paths.end() ? std::string() : found->second;
    });
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(rows[0].pidText, "305");
    EXPECT_EQ(rows[0].name, "bash");
    EXPECT_EQ(rows[0].pathText, "/usr/bin/bash");
    EXPECT_EQ(rows[0].startTime, 7000U);
    EXPECT_EQ(rows[1].pidText, "2");
    EXPECT_EQ(rows[1].pathText, "[Protected]");
    EXPECT_TRUE(rows[1].path.empty());
    EXPECT_FALSE(rows[1].deleted);
    EXPECT_TRUE(rows[2].deleted);
    EXPECT_EQ(rows[2].pathText, "/opt/editor (deleted)");
    EXPECT_EQ(TaskList::CheckablePath(rows[2]), "");
    EXPECT_EQ(TaskList::CheckablePath(rows[0]), "/usr/bin/bash");
    EXPECT_EQ(TaskList::RowNote(rows[2], {}), "The executable file has been deleted");
    EXPECT_EQ(TaskList::RowNote(rows[0], {}), "");
}

TEST(TaskRows, NamesAndPathsShowAsOneUnambiguousLineButStayExactForChecks) {
    const std::vector<platform::ProcessInfo> processes = {
        {9, "evil\xe2\x80\xaetxt.exe", "", 1, false}};
    const std::string path = "/tmp/bad\nname\xff";
    const auto rows = TaskList::BuildRows(processes, [&path](std::int32_t) { return path; });
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].name, "evil\\u202Etxt.exe");
    EXPECT_EQ(rows[0].pathText, "/tmp/bad\\x0aname\\xff");
    EXPECT_EQ(TaskList::CheckablePath(rows[0]), path);
}

TEST(ProcessStat, ReadsStateAndStartTimeAfterTheLastParenthesis) {
    std::string fields;
    for (int field = 4; field <= 21; ++field) {
        fields += " " + std::to_string(field);
    }
    const auto stat = platform::parseProcessStat("42 (a) b) (c) S" + fields + " 123456 7 8\n");
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(stat->state, 'S');
    EXPECT_EQ(stat->startTime, 123456U);

    EXPECT_EQ(platform::parseProcessStat("42 (x) Z" + fields + " 9").value().state, 'Z');
    // Cut short, no name, a field that is not a number, a number too long for 64 bits.
    EXPECT_FALSE(platform::parseProcessStat("42 (x) S" + fields).has_value());
    EXPECT_FALSE(platform::parseProcessStat("42 x S 1 2 3").has_value());
    EXPECT_FALSE(platform::parseProcessStat("42 (x) S" + fields + " 12a4").has_value());
    EXPECT_FALSE(
        platform::parseProcessStat("42 (x) S" + fields + " 99999999999999999999999").has_value());
    EXPECT_FALSE(platform::parseProcessStat("42 (x) SS" + fields + " 1").has_value());
    EXPECT_FALSE(platform::parseProcessStat("").has_value());
}

TEST(TaskStop, SignalsOnlyTheProcessThatStartedAtTheRowsTime) {
    TempDir dir;
    const std::string program = dir.file("kesto-task-child");
    ChildPrograms::copyProgram(program);
    ChildPrograms children;
    const pid_t pid = children.start(program);

    const auto rows = TaskList::SnapshotRows();
    const TaskList::TaskRow* row = rowOf(rows, pid);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->name, "kesto-task-child");
    EXPECT_EQ(row->path, program);
    ASSERT_NE(row->startTime, 0U);

    // A row from before the id was reused names another process: nothing is signalled.
    TaskList::TaskRow stale = *row;
    stale.startTime += 1;
    EXPECT_EQ(TaskList::StopRow(stale), platform::Termination::NotRunning);
    TaskList::TaskRow groups = *row;
    groups.pid = 0;
    EXPECT_EQ(TaskList::StopRow(groups), platform::Termination::NotRunning);
    groups.pid = -1;
    EXPECT_EQ(TaskList::StopRow(groups), platform::Termination::NotRunning);
    EXPECT_EQ(::kill(pid, 0), 0);

    EXPECT_EQ(TaskList::StopRow(*row), platform::Termination::Ended);
    // Ended but not yet collected by this test: no longer listed.
    EXPECT_EQ(rowOf(TaskList::SnapshotRows(), pid), nullptr);
    EXPECT_EQ(children.end(pid), SIGKILL);
}

TEST(TaskStop, WithoutProcessDescriptorsNothingIsSignalled) {
    TempDir dir;
    const std::string program = dir.file("kesto-task-nopidfd");
    ChildPrograms::copyProgram(program);
    ChildPrograms children;
    const pid_t pid = children.start(program);
    const TaskList::TaskRow* row = nullptr;
    const auto rows = TaskList::SnapshotRows();
    row = rowOf(rows, pid);
    ASSERT_NE(row, nullptr);
    {
        const platform::ScopedSeam noDescriptors(platform::setProcessDescriptorOpener,
                                                 [](std::int32_t) {
                                                     errno = ENOSYS;
                                                     return -1;
                                                 });
        EXPECT_EQ(TaskList::StopRow(*row), platform::Termination::Failed);
    }
    EXPECT_EQ(children.end(pid), SIGTERM);
}
