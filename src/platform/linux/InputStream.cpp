#include "platform/InputStream.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace platform {

std::error_code readStream(int fd, std::string& out, std::size_t limit) {
    constexpr std::size_t kChunk = 64 * 1024;
    while (out.size() <= limit) {
        const std::size_t had = out.size();
        // One byte beyond the limit is enough to know that the data is too large.
        const std::size_t want = std::min(kChunk, limit + 1 - had);
        out.resize(had + want);
        const ssize_t got = ::read(fd, out.data() + had, want);
        const int error = errno;
        out.resize(had + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got == 0) {
            return {};
        }
        if (got < 0) {
            return {error, std::generic_category()};
        }
    }
    return std::make_error_code(std::errc::file_too_large);
}

} // namespace platform
