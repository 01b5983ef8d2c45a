#include "platform/Interrupt.h"

#include <atomic>
#include <csignal>

namespace platform {

namespace {

std::atomic<bool> requested{false};

// What the guard replaced; restored when it ends.
struct sigaction previousInt {};
struct sigaction previousTerm {};

extern "C" void onInterrupt(int) {
    requested.store(true);
}

} // namespace

InterruptGuard::InterruptGuard() {
    requested.store(false);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
}

InterruptGuard::~InterruptGuard() {
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
}

bool interruptRequested() {
    return requested.load();
}

} // namespace platform
