#pragma once

#include "platform/NativeHandle.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

/// A regular file that is only ever appended to, such as a log. It is opened without following a
/// link and created with the given mode (0644 unless told, less the umask) when missing; anything
/// but a regular file is refused, so a FIFO or device never blocks or swallows what is written.
class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    std::error_code open(const std::string& path, std::uint32_t mode = 0644);
    bool isOpen() const { return m_fd != kNoHandle; }
    /// The open file's length now, whoever wrote it.
    std::error_code size(std::uint64_t& bytes) const;
    /// Appends all of `data`, or fails with why not.
    std::error_code write(std::string_view data);
    void close();

private:
    NativeHandle m_fd = kNoHandle;
};

} // namespace platform
