#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// One running process as the process list shows it.
struct ProcessInfo {
    std::int32_t pid = 0;
    std::string name; ///< base name of the executable, else the kernel's short name
    std::string path; ///< executable path; empty when it cannot be read (kernel threads, others)
    /// Start time in clock ticks after boot (Windows: the creation time in 100 ns ticks since
    /// 1601; 0 when the process may not be asked); with the pid it names one process for good.
    std::uint64_t startTime = 0;
    /// The process has ended and waits for its parent to collect it (a zombie).
    bool ended = false;
};

/// The facts of `/proc/PID/stat` that the process list uses.
struct ProcessStat {
    char state = '?';
    std::uint64_t startTime = 0;
};

/// Parses the text of `/proc/PID/stat`. The short name in parentheses may hold any byte,
/// parentheses and spaces included, so the fields are read after the last ")". None when the
/// text is cut short or a field is not a number.
std::optional<ProcessStat> parseProcessStat(std::string_view text);

/// `/proc/PID/stat` of one process; none when the process is gone or the text is malformed.
std::optional<ProcessStat> processStat(std::int32_t pid);

/// Every running process, in ascending process id order, those that have ended but were not yet
/// collected by their parent included.
std::vector<ProcessInfo> listProcesses();

/// The ids of every running process, ascending; cheaper than `listProcesses` when only the ids
/// are needed.
std::vector<std::int32_t> listProcessIds();

/// Whether a file that starts with `firstBytes` can be the executable image of a process. Only an
/// ELF image can on Linux: a script, or a program run through a registered interpreter, shows the
/// interpreter as its process's executable.
bool canBeProcessImage(std::string_view firstBytes);

/// Executable path of one process; empty when the process is gone or its path cannot be read.
std::string processPath(std::int32_t pid);

/// Whether process `pid` runs: it exists, whoever owns it, and has not ended (one that ended and
/// waits for its parent to collect it is gone). Never true for a pid of 0 or less.
bool processExists(std::int32_t pid);

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

/// Ends process `pid` (SIGKILL) only while it is the process that started at `startTime`: the
/// process is pinned by a process descriptor, its start time read again, and the signal goes
/// through the descriptor, so a reused id is never signalled. Without process descriptors
/// nothing is signalled (Failed). After the signal it waits up to `waitMs` for the process to end.
/// On Windows a process handle pins the process and TerminateProcess ends it; a process whose
/// creation time cannot be read is not ended (Failed).
Termination terminateProcessIfSame(std::int32_t pid, std::uint64_t startTime, int waitMs = 1000);

/// Opens a process descriptor for a pid, or returns -1 with errno set, as pidfd_open does.
using ProcessDescriptorOpener = int (*)(std::int32_t pid);

/// Replaces the call that opens process descriptors, so tests can act as a kernel without them;
/// nullptr restores the system call. Returns the call installed before.
ProcessDescriptorOpener setProcessDescriptorOpener(ProcessDescriptorOpener opener);

} // namespace platform
