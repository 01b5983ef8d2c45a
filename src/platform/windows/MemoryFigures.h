#pragma once

#include "platform/SystemFacts.h"

#include <windows.h>

namespace platform::windows {

/// The memory figures of the system's memory status. Physical and virtual memory are taken as
/// they are (virtual: the process's user address space). The commit limit is the physical memory
/// plus the page files, so the page file is the part of the limit beyond the physical memory; of
/// it, what remains of the available commit beyond the available physical memory is free. Both
/// read 0 when the limit does not exceed the physical memory (no page file).
MemoryStatus memoryStatusOf(const MEMORYSTATUSEX& figures);

} // namespace platform::windows
