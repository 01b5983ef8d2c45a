#include "platform/InputStream.h"

#include <algorithm>
#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace platform {

namespace {

/// Reads up to `count` bytes; the result is negative on error, with the reason in errno.
long readSome(int fd, char* data, std::size_t count) {
#ifdef _WIN32
    return _read(fd, data, static_cast<unsigned>(count));
#else
    return static_cast<long>(::read(fd, data, count));
#endif
}

} // namespace

std::error_code readStream(int fd, std::string& out, std::size_t limit) {
#ifdef _WIN32
    // Text mode would turn CR LF into LF and stop at a Ctrl+Z byte; the bytes are read as sent.
    _setmode(fd, _O_BINARY);
#endif
    constexpr std::size_t kChunk = 64 * 1024;
    while (out.size() <= limit) {
        const std::size_t had = out.size();
        // One byte beyond the limit is enough to know that the data is too large.
        const std::size_t want = std::min(kChunk, limit + 1 - had);
        out.resize(had + want);
        const long got = readSome(fd, out.data() + had, want);
        const int error = errno;
        out.resize(had + static_cast<std::size_t>(std::max(got, 0L)));
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
