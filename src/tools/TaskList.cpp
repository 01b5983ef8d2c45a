#include "tools/TaskList.h"

#include "scanner/DisplayName.h"
#include "scanner/ProcessTable.h"

namespace TaskList {

std::vector<TaskRow> BuildRows(const std::vector<platform::ProcessInfo>& processes,
                               const PathLookup& pathByPid) {
    std::vector<TaskRow> rows;
    rows.reserve(processes.size());
    for (const platform::ProcessInfo& process : processes) {
        if (process.ended) {
            continue;
        }
        TaskRow row;
        row.pid = process.pid;
        row.startTime = process.startTime;
        // Shown as one unambiguous line each: a process may give itself any name.
        row.name = DisplayName(process.name);
        row.pidText = std::to_string(process.pid);
        row.path = pathByPid(process.pid);
        row.pathText = row.path.empty() ? std::string(kProtected) : DisplayName(row.path);
        row.deleted = row.path.ends_with(kDeletedSuffix);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<TaskRow> SnapshotRows() {
    return BuildRows(platform::listProcesses(), PathByPID);
}

std::string CheckablePath(const TaskRow& row) {
    return row.deleted ? std::string() : row.path;
}

std::string RowNote(const TaskRow& row, std::string_view detection) {
    if (!detection.empty()) {
        return "Listed by the engine: " + std::string(detection);
    }
    if (row.deleted) {
        return "The executable file has been deleted";
    }
    return {};
}

platform::Termination StopRow(const TaskRow& row) {
    return platform::terminateProcessIfSame(row.pid, row.startTime);
}

} // namespace TaskList
