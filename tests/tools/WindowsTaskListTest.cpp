#include "../scanner/ChildPrograms.h"
#include "platform/PathText.h"
#include "platform/Processes.h"
#include "platform/windows/WideText.h"
#include "testsupport/TempDir.h"
#include "tools/TaskList.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <windows.h>

using testsupport::ChildPrograms;
using testsupport::TempDir;

namespace {

const TaskList::TaskRow* rowOf(const std::vector<TaskList::TaskRow>& rows, std::int32_t pid) {
    const auto found = std::find_if(rows.begin(), rows.end(),
                                    [pid](const TaskList::TaskRow& row) { return row.pid == pid; });
    return found == rows.end() ? nullptr : &*found;
}

std::string ownProgram() {
    wchar_t path[4096] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, 4096);
    return platform::windows::narrow(std::wstring_view(path, length));
}

} // namespace

TEST(WindowsTaskList, TheSnapshotHoldsThisProcessWithItsNamePathAndCreationTime) {
    const auto rows = TaskList::SnapshotRows();
    const auto pid = static_cast<std::int32_t>(GetCurrentProcessId());
    const TaskList::TaskRow* row = rowOf(rows, pid);
    ASSERT_NE(row, nullptr);
    const std::string program = ownProgram();
    EXPECT_TRUE(platform::samePath(row->path, program)) << row->path << " " << program;
    EXPECT_TRUE(platform::samePath(row->name, program.substr(program.rfind('\\') + 1)))
        << row->name;
    EXPECT_EQ(row->pidText, std::to_string(pid));
    EXPECT_FALSE(row->deleted);
    EXPECT_NE(row->startTime, 0U);
    EXPECT_EQ(TaskList::CheckablePath(*row), row->path);
    // Ascending ids, as the window first shows them.
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(),
                               [](const auto& a, const auto& b) { return a.pid < b.pid; }));
}

TEST(WindowsTaskList, StopEndsOnlyTheProcessCreatedAtTheRowsTime) {
    TempDir dir;
    const std::string program = dir.file("kesto-task-child.exe");
    ChildPrograms::copyProgram(program);
    ChildPrograms children;
    const pid_t pid = children.start(program);

    const auto rows = TaskList::SnapshotRows();
    const TaskList::TaskRow* row = rowOf(rows, pid);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(platform::samePath(row->name, "kesto-task-child.exe")) << row->name;
    EXPECT_TRUE(platform::samePath(row->path, program)) << row->path;
    ASSERT_NE(row->startTime, 0U);

    // A row from before the id was reused names another process: nothing is ended.
    TaskList::TaskRow stale = *row;
    stale.startTime += 1;
    EXPECT_EQ(TaskList::StopRow(stale), platform::Termination::NotRunning);
    stale.startTime = 0;
    EXPECT_EQ(TaskList::StopRow(stale), platform::Termination::NotRunning);
    TaskList::TaskRow none = *row;
    none.pid = 0;
    EXPECT_EQ(TaskList::StopRow(none), platform::Termination::NotRunning);
    none.pid = -1;
    EXPECT_EQ(TaskList::StopRow(none), platform::Termination::NotRunning);
    EXPECT_TRUE(platform::processExists(pid));

    EXPECT_EQ(TaskList::StopRow(*row), platform::Termination::Ended);
    EXPECT_FALSE(platform::processExists(pid));
    EXPECT_EQ(rowOf(TaskList::SnapshotRows(), pid), nullptr);
    // Ended once: a second Stop finds nothing to end.
    EXPECT_EQ(TaskList::StopRow(*row), platform::Termination::NotRunning);
    EXPECT_EQ(children.end(pid), testsupport::kChildKilled);
}
