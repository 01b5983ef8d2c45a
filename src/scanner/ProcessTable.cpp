#include "scanner/ProcessTable.h"

#include "platform/PathText.h"
#include "platform/Processes.h"

void ProcessTable::SnapshotProcesses() {
    m_entries.clear();
    for (const std::int32_t pid : platform::listProcessIds()) {
        m_entries.push_back({pid, PathByPID(pid)});
    }
}

std::size_t ProcessTable::TerminateProcessByPath(const std::string& path) const {
    // Kernel threads and other users' processes have no path; they never match.
    if (path.empty()) {
        return 0;
    }
    std::size_t ended = 0;
    for (const Entry& entry : m_entries) {
        // The process may have ended and its id been reused since the snapshot; the platform
        // checks the path again on the process it is about to signal.
        if (platform::samePath(entry.path, path) &&
            platform::terminateProcessRunning(entry.pid, path) == platform::Termination::Ended) {
            ++ended;
        }
    }
    return ended;
}

std::string PathByPID(std::int32_t pid) {
    std::string path = platform::processPath(pid);
    // Native system paths that some system processes report never name a scanned file.
    if (path.starts_with("\\??\\") || path.starts_with("\\SystemRoot\\")) {
        return {};
    }
    return path;
}

std::size_t EndRunningProcess(const std::string& path) {
    ProcessTable table;
    table.SnapshotProcesses();
    return table.TerminateProcessByPath(path);
}
