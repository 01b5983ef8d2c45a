#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

/// One running process as the process list shows it.
struct ProcessInfo {
    std::int32_t pid = 0;
    std::string name; ///< base name of the executable, else the kernel's short name
    std::string path; ///< executable path; empty when it cannot be read (kernel threads, others)
};

/// Every running process, in ascending process id order.
std::vector<ProcessInfo> listProcesses();

/// The ids of every running process, ascending; cheaper than `listProcesses` when only the ids
/// are needed.
std::vector<std::int32_t> listProcessIds();

/// Executable path of one process; empty when the process is gone or its path cannot be read.
std::string processPath(std::int32_t pid);

/// What `terminateProcessRunning` did.
enum class Termination {
    Ended,      ///< the process ran the file and was sent SIGKILL
    NotRunning, ///< the process is gone or runs another file; nothing was signalled
    Failed,     ///< the process could not be pinned or signalled
};

/// Ends process `pid` (SIGKILL) only while it runs the file at `path`: the same path, exactly,
/// and the same file (a deleted program reads as its path plus " (deleted)"). A process
/// descriptor pins the process before the check, so a reused id is never signalled; without
/// descriptors (old kernels) the check is followed by a kill by id.
Termination terminateProcessRunning(std::int32_t pid, const std::string& path);

/// Opens a process descriptor for a pid, or returns -1 with errno set, as pidfd_open does.
using ProcessDescriptorOpener = int (*)(std::int32_t pid);

/// Replaces the call that opens process descriptors, so tests can act as a kernel without them;
/// nullptr restores the system call.
void setProcessDescriptorOpener(ProcessDescriptorOpener opener);

} // namespace platform
