#pragma once

#include <cstddef>
#include <string>
#include <system_error>

namespace platform {

/// Appends what the open descriptor `fd` (a pipe, a terminal, a file) delivers to `out` until its
/// end, or until `out` holds more than `limit` bytes, which fails with std::errc::file_too_large
/// (the rest is never read). A signal ends the read early with std::errc::interrupted and leaves
/// what arrived in `out`, so that the caller may stop or read on.
std::error_code readStream(int fd, std::string& out, std::size_t limit);

} // namespace platform
