#include "platform/Interrupt.h"

#include <atomic>
#include <windows.h>

namespace platform {

namespace {

std::atomic<bool> requested{false};

/// Runs on a thread of its own when the console sends Ctrl+C or Ctrl+Break. Closing the console,
/// logging off and shutting down are left to the next handler: the process ends then anyway.
BOOL WINAPI onConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        requested.store(true);
        return TRUE;
    }
    return FALSE;
}

} // namespace

InterruptGuard::InterruptGuard() {
    requested.store(false);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

InterruptGuard::~InterruptGuard() {
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
}

bool interruptRequested() {
    return requested.load();
}

} // namespace platform
