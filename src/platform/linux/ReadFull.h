#pragma once

#include "platform/linux/SystemCall.h"

#include <cstddef>
#include <system_error>
#include <unistd.h>

namespace platform::linux_calls {

/// Reads from `fd` until `size` bytes are in `data` or the file ends; `got` is the count read,
/// also when an error stops the reading.
inline std::error_code readFull(int fd, unsigned char* data, std::size_t size, std::size_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = retryOnEintr([&] { return ::read(fd, data + got, size - got); });
        if (n < 0) {
            return lastError();
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return {};
}

} // namespace platform::linux_calls
