#include "scanner/ProcessTable.h"

#include "platform/Processes.h"

void ProcessTable::SnapshotProcesses() {
    m_entries.clear();
    for (const std::int32_t pid : platform::listProcessIds()) {
        m_entries.push_back({pid, PathByPID(pid)});
    }
}

void ProcessTable::TerminateProcessByPath(const std::string& path) const {
    for (const Entry& entry : m_entries) {
        if (entry.path == path) {
            // The process may have ended and its id been reused since the snapshot; only signal
            // it while it still runs that file.
            if (PathByPID(entry.pid) == path) {
                platform::terminateProcess(entry.pid);
            }
            return;
        }
    }
}

std::string PathByPID(std::int32_t pid) {
    std::string path = platform::processPath(pid);
    // Native system paths that some system processes report never name a scanned file.
    if (path.starts_with("\\??\\") || path.starts_with("\\SystemRoot\\")) {
        return {};
    }
    return path;
}

void EndRunningProcess(const std::string& path) {
    ProcessTable table;
    table.SnapshotProcesses();
    table.TerminateProcessByPath(path);
}
