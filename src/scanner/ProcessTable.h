#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// Snapshot of the running processes with their executable paths, used to end a running detected
/// program. No limit on the number of processes.
class ProcessTable {
public:
    /// Rebuilds the table from the running processes.
    void SnapshotProcesses();

    /// Ends the first recorded process whose executable path equals `path` exactly. Does nothing
    /// when none does; a process that cannot be ended is ignored.
    void TerminateProcessByPath(const std::string& path) const;

    struct Entry {
        std::int32_t pid = 0;
        std::string path;
    };
    const std::vector<Entry>& entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries;
};

/// Executable path of a process, or empty when it cannot be read or is a native system path
/// beginning with "\??\" or "\SystemRoot\".
std::string PathByPID(std::int32_t pid);

/// A fresh snapshot, then the first process running `path` ended.
void EndRunningProcess(const std::string& path);
