#pragma once

#include <cerrno>
#include <system_error>

/// Helpers of the Linux backend for calling the system: errno as an error code, and a call
/// repeated while a signal interrupts it.
namespace platform::linux_calls {

/// The error the last failed system call left in errno.
inline std::error_code lastError() {
    return {errno, std::generic_category()};
}

/// Calls `call` until it returns anything but a failure with EINTR; returns its last result.
/// For calls that return a negative value on failure (descriptors, byte counts, status).
template <class Call> auto retryOnEintr(Call&& call) {
    for (;;) {
        auto result = call();
        if (!(result < 0 && errno == EINTR)) {
            return result;
        }
    }
}

} // namespace platform::linux_calls
