#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// Name of the user running the program: on Linux the effective user's, from the password
/// database, or the user number when it has no entry; on Windows the logon name.
std::string userName();

/// The Windows folder and the system folder; on Linux what stands in for them, "/usr" and
/// "/usr/bin".
std::string windowsFolder();
std::string systemFolder();

/// Memory figures in bytes. A figure the system did not give reads 0. Virtual memory is the
/// process's address space; the swap is the page file on Windows.
struct MemoryStatus {
    std::uint64_t totalPhysical = 0;
    std::uint64_t availablePhysical = 0;
    std::uint64_t totalVirtual = 0;
    std::uint64_t availableVirtual = 0;
    std::uint64_t swapTotal = 0;
    std::uint64_t swapFree = 0;
};

/// Where the memory figures come from on Linux; tests point these at their own files. Windows asks
/// the system's memory status and has no sources.
struct MemorySources {
    std::string meminfo = "/proc/meminfo";
    std::string status = "/proc/self/status";
    /// The process's address-space limit in bytes; none when unlimited.
    std::function<std::optional<std::uint64_t>()> addressSpaceLimit;
};

/// On Linux: physical memory from `meminfo` (MemTotal, MemAvailable, else MemFree + Buffers +
/// Cached) and the swap; virtual: the address-space limit (the architecture's user address space
/// when there is none), of which VmSize of `status` is in use. On Windows: the system's memory
/// status (see platform/windows/MemoryFigures.h).
MemoryStatus memoryStatus(const MemorySources& sources = {});

/// The value of `key` in a "Key:   123 kB" text, in bytes. None when the key is missing, the
/// number is malformed or too large, or the unit is not one of none, kB, mB, gB.
std::optional<std::uint64_t> procFieldBytes(std::string_view text, std::string_view key);

/// The user address space of this architecture, used when no limit is set.
std::uint64_t userAddressSpace();

/// Reads a small file whole (proc files report no size); none when it cannot be read. Stops at
/// `limit` bytes.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit = 1 << 20);

} // namespace platform
