#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// Snapshot of the running processes with their executable paths, used to end a running detected
/// program. No limit on the number of processes.
class ProcessTable {
public:
    /// Rebuilds the table from the running processes.
    void SnapshotProcesses();

    /// Ends every recorded process whose executable path equals `path` exactly and that still
    /// runs that file. Returns how many were ended; a process that cannot be ended is skipped.
    std::size_t TerminateProcessByPath(const std::string& path) const;

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

/// A fresh snapshot, then every process running `path` ended. Returns how many were ended.
std::size_t EndRunningProcess(const std::string& path);
