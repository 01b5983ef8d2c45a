#pragma once

#include "platform/FolderHandle.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <system_error>

namespace platform {

/// The file an encryption or decryption rewrites. It is opened by its folder and its name without
/// following a link, and only when it is a regular file with one name. It keeps how the file
/// looked when it was opened and counts the bytes read, so that a rewrite can tell whether what
/// it read is still the whole file before it replaces it.
class CryptSource {
public:
    CryptSource() = default;
    ~CryptSource();
    CryptSource(const CryptSource&) = delete;
    CryptSource& operator=(const CryptSource&) = delete;

    /// Opens the file at `path` (slashes at its end are ignored). An empty path fails with
    /// CryptError::EmptyPath; a link, folder, FIFO, device, socket, "." or ".." with
    /// CryptError::NotRegularFile; a file with more than one name with CryptError::HardLinked.
    std::error_code open(const std::string& path);
    /// Reads until `size` bytes or the end of the file; `got` is the count read.
    std::error_code read(unsigned char* data, std::size_t size, std::size_t& got);
    /// Goes back to the start of the file; the count of bytes read starts again from 0.
    std::error_code rewind();
    /// CryptError::Changed unless the file is still what was read: its descriptor shows the size
    /// and times it had when it was opened, every one of its bytes was read, and its name still
    /// leads to it.
    std::error_code checkUnchanged() const;

    /// The open folder that holds the file, and the file's name there.
    const FolderHandle& folder() const { return m_folder; }
    const std::string& name() const { return m_name; }
    FileId id() const { return {m_stamp.device, m_stamp.inode}; }
    /// The file's length when it was opened.
    std::uint64_t size() const { return m_stamp.size; }
    /// The file's mode when it was opened.
    mode_t mode() const { return m_mode; }
    /// Bytes read since the file was opened or last rewound.
    std::uint64_t bytesRead() const { return m_read; }

private:
    FolderHandle m_folder;
    std::string m_name;
    NativeHandle m_fd = kNoHandle;
    FileStamp m_stamp;
    mode_t m_mode = 0;
    std::uint64_t m_read = 0;
};

} // namespace platform
