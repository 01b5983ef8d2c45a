#pragma once

#include "platform/NativeHandle.h"

#include <cstddef>
#include <string_view>
#include <system_error>

namespace platform {

/// Bytes that one write to a pipe with room takes whole, without waiting (PIPE_BUF on Linux).
/// A writer that never writes more at once, and only after `waitForOutput` said Ready, is never
/// held up by a reader that stopped reading.
inline constexpr std::size_t kAtomicOutputWrite = 4096;

/// What `waitForOutput` found.
enum class OutputState {
    Ready,  ///< a write of up to kAtomicOutputWrite bytes goes through without waiting
    Full,   ///< the reader has not made room within the time given
    Closed, ///< nobody reads any more, or the handle is not one that can be written
};

/// Waits up to `timeoutMs` milliseconds for room in an output the program was handed (its
/// standard error: a pipe, a socket, a terminal or a file). Windows cannot wait for room in a
/// pipe: there it answers Ready at once.
OutputState waitForOutput(NativeHandle output, int timeoutMs);

/// Writes the start of `data` once and sets `written` to the bytes taken, which may be fewer. A
/// socket is written without waiting; a reader that went away is an error, never a signal.
std::error_code writeOutput(NativeHandle output, std::string_view data, std::size_t& written);

} // namespace platform
