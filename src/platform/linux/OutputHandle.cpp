#include "platform/OutputHandle.h"

#include "platform/linux/SystemCall.h"

#include <climits>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

using linux_calls::lastError;
using linux_calls::retryOnEintr;

static_assert(kAtomicOutputWrite <= PIPE_BUF);

OutputState waitForOutput(NativeHandle output, int timeoutMs) {
    pollfd wanted{output, POLLOUT, 0};
    const int ready = retryOnEintr([&] { return ::poll(&wanted, 1, timeoutMs); });
    if (ready < 0 || (wanted.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return OutputState::Closed;
    }
    return ready == 0 ? OutputState::Full : OutputState::Ready;
}

std::error_code writeOutput(NativeHandle output, std::string_view data, std::size_t& written) {
    written = 0;
    // The journal takes standard error through a socket: sent without waiting and without
    // SIGPIPE when it went away. Anything else (a pipe, a terminal, a file) is written.
    ssize_t taken = retryOnEintr(
        [&] { return ::send(output, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL); });
    if (taken < 0 && errno == ENOTSOCK) {
        taken = retryOnEintr([&] { return ::write(output, data.data(), data.size()); });
    }
    if (taken < 0) {
        return lastError();
    }
    written = static_cast<std::size_t>(taken);
    return {};
}

} // namespace platform
