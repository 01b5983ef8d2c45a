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

/// Ends a process at once (SIGKILL). Returns false when it could not be signalled.
bool terminateProcess(std::int32_t pid);

} // namespace platform
