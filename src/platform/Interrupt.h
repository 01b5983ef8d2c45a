#pragma once

namespace platform {

/// While a guard lives, an interrupt from the terminal (Ctrl+C; on Linux also a termination
/// request, SIGTERM; on Windows also Ctrl+Break) no longer ends the program but sets a flag that
/// `interruptRequested` reads, so a long task can stop cleanly. Creating a guard clears the flag;
/// destroying it restores the handling that was in place before. One guard at a time.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

/// Whether an interrupt arrived since the last guard was created; it stays set after the guard
/// ends, so the caller can still tell why its task stopped.
bool interruptRequested();

} // namespace platform
