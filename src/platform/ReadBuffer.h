#pragma once

#include "platform/InputFile.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

/// A reusable buffer for whole-file reads. Its memory starts on a page boundary, which lets the
/// kernel copy file data at full speed (a buffer a few bytes into a page copies several times
/// slower on some processors), and it is never cleared before a read.
class ReadBuffer {
public:
    ReadBuffer() = default;
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    /// Replaces the content with the rest of the open regular file `file`, which may hold at
    /// most `limit` bytes (a longer file fails with std::errc::file_too_large: some kernel files
    /// report no length yet never end). On failure the content is empty.
    std::error_code readOpenFile(InputFile& file, std::size_t limit);

    std::string_view view() const { return {m_data.get(), m_size}; }
    std::size_t size() const { return m_size; }
    /// Whether the last read had to wait for data that was not in memory yet.
    bool waitedForDisk() const { return m_waited; }

private:
    struct Free {
        void operator()(char* p) const;
    };
    void reserve(std::size_t bytes, std::size_t keep);

    std::unique_ptr<char[], Free> m_data;
    std::size_t m_capacity = 0;
    std::size_t m_size = 0;
    bool m_waited = false;
};

} // namespace platform
