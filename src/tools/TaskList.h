#pragma once

#include "platform/Processes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// The rows of the task manager, built from a process snapshot.
namespace TaskList {

inline constexpr std::string_view kTitle = "Kesto -> Task Manager";
inline constexpr std::string_view kProtected = "[Protected]";
inline constexpr std::string_view kDeletedSuffix = " (deleted)";

/// One row of the process list: the texts of the visible columns and what Stop needs to find
/// the same process again.
struct TaskRow {
    std::int32_t pid = 0;
    std::uint64_t startTime = 0;
    std::string name;     ///< "Process Name"
    std::string pidText;  ///< "PID", decimal
    std::string pathText; ///< "Path": the executable path, or "[Protected]"
    std::string path;     ///< the executable path; empty when it cannot be read
    bool deleted = false; ///< the executable file has been deleted since the process started
};

/// Executable path of a process as the list shows it; empty when it cannot be read.
using PathLookup = std::function<std::string(std::int32_t pid)>;

/// One row per process, in the order of `processes`, leaving out those that have ended and only
/// wait for their parent. The path comes from `pathByPid`; a process without one is still
/// listed, with "[Protected]".
std::vector<TaskRow> BuildRows(const std::vector<platform::ProcessInfo>& processes,
                               const PathLookup& pathByPid);

/// The rows of the running processes, with the scanner's PathByPID.
std::vector<TaskRow> SnapshotRows();

/// The file a "Check File" reads for a row: the path without " (deleted)" when the file is
/// gone (then nothing is left to check and the result is empty).
std::string CheckablePath(const TaskRow& row);

/// What a row's note says: empty for an ordinary row.
std::string RowNote(const TaskRow& row, std::string_view detection);

/// Ends the row's process when it is still the process the row was made for.
platform::Termination StopRow(const TaskRow& row);

} // namespace TaskList
