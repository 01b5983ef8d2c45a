#include "platform/Processes.h"

#include "platform/linux/SystemCall.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

// Kernel headers older than the calls still leave them reachable by number (x86-64).
#ifndef SYS_pidfd_send_signal
#define SYS_pidfd_send_signal 424
#endif
#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434
#endif

namespace platform {

namespace {

using linux_calls::retryOnEintr;

/// The pid named by a /proc entry, or 0 when the name is not a positive decimal number.
std::int32_t pidFromName(const char* name) {
    std::int64_t value = 0;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || value > INT32_MAX / 10) {
            return 0;
        }
        value = value * 10 + (*c - '0');
    }
    return value <= INT32_MAX ? static_cast<std::int32_t>(value) : 0;
}

std::string procFile(std::int32_t pid, const char* entry) {
    return "/proc/" + std::to_string(pid) + "/" + entry;
}

/// The process's short name from `comm`, without its final newline.
std::string commName(std::int32_t pid) {
    const int fd = ::open(procFile(pid, "comm").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    // The kernel keeps at most 15 characters of it.
    char buffer[64];
    const ssize_t got = retryOnEintr([&] { return ::read(fd, buffer, sizeof buffer); });
    ::close(fd);
    if (got <= 0) {
        return {};
    }
    std::string name(buffer, static_cast<std::size_t>(got));
    if (!name.empty() && name.back() == '\n') {
        name.pop_back();
    }
    return name;
}

int systemPidfdOpen(std::int32_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

std::atomic<ProcessDescriptorOpener> g_pidfdOpen{systemPidfdOpen};

/// Whether process `pid` runs the file at `path`. The link text of a deleted executable gains
/// " (deleted)", which a file may also carry in its name; stat through the link reaches the
/// running file itself, so only the same file on the same device counts.
bool runsFile(std::int32_t pid, const std::string& path) {
    if (path.empty() || processPath(pid) != path) {
        return false;
    }
    struct stat running {};
    struct stat file {};
    return ::stat(procFile(pid, "exe").c_str(), &running) == 0 &&
           ::stat(path.c_str(), &file) == 0 && running.st_dev == file.st_dev &&
           running.st_ino == file.st_ino;
}

} // namespace

std::vector<std::int32_t> listProcessIds() {
    std::vector<std::int32_t> pids;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return pids;
    }
    while (const dirent* entry = ::readdir(proc)) {
        if (const std::int32_t pid = pidFromName(entry->d_name); pid > 0) {
            pids.push_back(pid);
        }
    }
    ::closedir(proc);
    std::sort(pids.begin(), pids.end());
    return pids;
}

std::optional<ProcessStat> parseProcessStat(std::string_view text) {
    const std::size_t close = text.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    // After the name: " S ppid pgrp ..."; field 3 is the state, field 22 the start time.
    std::string_view rest = text.substr(close + 1);
    ProcessStat stat;
    int field = 2;
    while (!rest.empty()) {
        const std::size_t begin = rest.find_first_not_of(' ');
        if (begin == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(begin);
        const std::size_t end = std::min(rest.find(' '), rest.size());
        const std::string_view value = rest.substr(0, end);
        rest.remove_prefix(end);
        ++field;
        if (field == 3) {
            if (value.size() != 1) {
                return std::nullopt;
            }
            stat.state = value[0];
        } else if (field == 22) {
            if (value.empty() || value.size() > 19 ||
                value.find_first_not_of("0123456789") != std::string_view::npos) {
                return std::nullopt;
            }
            std::uint64_t number = 0;
            for (const char digit : value) {
                number = number * 10 + static_cast<std::uint64_t>(digit - '0');
            }
            stat.startTime = number;
            return stat;
        }
    }
    return std::nullopt;
}

std::optional<ProcessStat> processStat(std::int32_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const int fd = ::open(procFile(pid, "stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    // The line is short; a name of 15 bytes and 52 numbers stay far below this.
    char buffer[1024];
    std::size_t filled = 0;
    while (filled < sizeof buffer) {
        const ssize_t got =
            retryOnEintr([&] { return ::read(fd, buffer + filled, sizeof buffer - filled); });
        if (got <= 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return parseProcessStat(std::string_view(buffer, filled));
}

std::vector<ProcessInfo> listProcesses() {
    std::vector<ProcessInfo> processes;
    for (const std::int32_t pid : listProcessIds()) {
        ProcessInfo info;
        info.pid = pid;
        if (const std::optional<ProcessStat> stat = processStat(pid)) {
            info.startTime = stat->startTime;
            info.ended = stat->state == 'Z';
        }
        info.path = processPath(pid);
        if (!info.path.empty()) {
            info.name = info.path.substr(info.path.rfind('/') + 1);
        } else {
            info.name = commName(pid);
        }
        processes.push_back(std::move(info));
    }
    return processes;
}

bool processExists(std::int32_t pid) {
    if (pid <= 0) {
        return false;
    }
    // Signal 0 only asks; EPERM means a process of another user is there.
    if (::kill(pid, 0) != 0 && errno != EPERM) {
        return false;
    }
    const std::optional<ProcessStat> stat = processStat(pid);
    return !stat || stat->state != 'Z';
}

bool canBeProcessImage(std::string_view firstBytes) {
    return firstBytes.starts_with("\x7f"
                                  "ELF");
}

std::string processPath(std::int32_t pid) {
    if (pid <= 0) {
        return {};
    }
    const std::string link = procFile(pid, "exe");
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
        if (length <= 0) {
            return {};
        }
        // A result that fills the buffer may have been cut short.
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

Termination terminateProcessRunning(std::int32_t pid, const std::string& path) {
    // kill() reads 0 and negative ids as whole process groups; only one process is meant here.
    if (pid <= 0) {
        return Termination::NotRunning;
    }
    const int pidfd = g_pidfdOpen.load()(pid);
    if (pidfd < 0) {
        if (errno == ESRCH) {
            return Termination::NotRunning;
        }
        // No process descriptors: kernels before 5.3 say ENOSYS, sandboxes that filter the call
        // EPERM (pidfd_open itself never does). The id may be reused between check and kill.
        if (errno != ENOSYS && errno != EPERM) {
            return Termination::Failed;
        }
        if (!runsFile(pid, path)) {
            return Termination::NotRunning;
        }
        return ::kill(pid, SIGKILL) == 0 ? Termination::Ended : Termination::Failed;
    }
    // The descriptor keeps naming this process even after it ends, so what is checked is what
    // gets the signal.
    Termination result = Termination::NotRunning;
    if (runsFile(pid, path)) {
        if (::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0) {
            result = Termination::Ended;
        } else if (errno != ESRCH) {
            result = Termination::Failed;
        }
    }
    ::close(pidfd);
    return result;
}

Termination terminateProcessIfSame(std::int32_t pid, std::uint64_t startTime, int waitMs) {
    if (pid <= 0) {
        return Termination::NotRunning;
    }
    const int pidfd = g_pidfdOpen.load()(pid);
    if (pidfd < 0) {
        return errno == ESRCH ? Termination::NotRunning : Termination::Failed;
    }
    // The descriptor names this process even if it ends now; a process that reused the id
    // after the row was made has another start time.
    Termination result = Termination::NotRunning;
    const std::optional<ProcessStat> stat = processStat(pid);
    if (stat && stat->state != 'Z' && stat->startTime == startTime) {
        if (::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0) {
            result = Termination::Ended;
            // The descriptor becomes readable when the process has ended.
            pollfd ended{pidfd, POLLIN, 0};
            retryOnEintr([&] { return ::poll(&ended, 1, waitMs); });
        } else if (errno != ESRCH) {
            result = Termination::Failed;
        }
    }
    ::close(pidfd);
    return result;
}

ProcessDescriptorOpener setProcessDescriptorOpener(ProcessDescriptorOpener opener) {
    return g_pidfdOpen.exchange(opener != nullptr ? opener : systemPidfdOpen);
}

} // namespace platform
