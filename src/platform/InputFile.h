#pragma once

#include "platform/NativeHandle.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace platform {

/// Error category for refusals of the file layer itself (not from the OS).
enum class FileError {
    NotRegularFile = 1,
    /// The object at a name is no longer the one seen before (device and inode differ).
    Changed,
};
const std::error_category& fileErrorCategory();
std::error_code make_error_code(FileError e);

enum class Follow {
    Symlinks,
    NoSymlinks,
};

/// What identifies one version of a file's content on disk, short of reading it.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
/// Read-only handle on a regular file. FIFOs, sockets, devices and folders are refused before
/// they are opened, so a read can never block or run without end.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::error_code open(const std::string& path, Follow follow = Follow::Symlinks);
    /// Opens the entry `name` of the open folder `folder` without following a link; anything
    /// but a regular file is refused once it is open (a walked entry was listed as one already).
    std::error_code openAt(NativeHandle folder, const std::string& name);
    /// Takes over `file`, a descriptor (handle on Windows) open for reading that the system
    /// handed over, such as the file of an access event; anything but a regular file is refused
    /// (and closed all the same).
    std::error_code adopt(NativeHandle file);
    bool isOpen() const { return m_fd != kNoHandle; }
    /// The open descriptor (handle on Windows), owned by this object.
    NativeHandle nativeHandle() const { return m_fd; }
    /// The open file's identity, length and times when it was opened.
    const FileStamp& stamp() const { return m_stamp; }
    /// Size of the file when it was opened.
    std::uint64_t size() const { return m_size; }
    /// Reads up to `count` bytes; returns 0 at the end of the file or on error (see `ec`).
    std::size_t read(char* buffer, std::size_t count, std::error_code& ec);
    /// Reads up to `count` bytes from `offset` without moving the file position; safe from several
    /// threads at once. Returns 0 at the end of the file or on error (see `ec`).
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t count,
                       std::error_code& ec) const;
    /// As `read`, but only as far as the data is in memory already: it never waits for the disk,
    /// so it may read less than is there, or nothing (then `read` the rest). Where the system
    /// cannot tell, it reads as `read` does.
    std::size_t readCached(char* buffer, std::size_t count, std::error_code& ec);
    /// Whether the start of the file is in memory, asked without waiting for the disk; true when
    /// the system cannot tell.
    bool startCached() const;
    /// Asks the system to start reading the whole file into memory, and returns at once.
    void prefetch() const;
    /// Replaces `out` with everything from the current position to the end of the file; more than
    /// `limit` bytes fail with std::errc::file_too_large and leave `out` empty.
    std::error_code readToEnd(std::string& out, std::uint64_t limit = UINT64_MAX);
    void close();

private:
    NativeHandle m_fd = kNoHandle;
    std::uint64_t m_size = 0;
    FileStamp m_stamp;
};

/// Reads a whole regular file into `out`; a file of more than `limit` bytes is refused with
/// std::errc::file_too_large before its content is held in memory.
std::error_code readWholeFile(const std::string& path, std::string& out,
                              Follow follow = Follow::Symlinks, std::uint64_t limit = UINT64_MAX);

std::error_code statFile(const std::string& path, FileStamp& stamp);

/// Wall-clock time in nanoseconds, comparable with `FileStamp` times.
std::int64_t wallClockNs();

/// Called with the path or name of every file an InputFile opens (a seam for tests that count
/// what a scan reads). Returns the hook it replaced; none is set at start.
using InputOpenHook = void (*)(const std::string& name);
InputOpenHook setInputOpenHook(InputOpenHook hook);

namespace detail {
/// Tells the hook, if any, that `name` was opened.
void noteInputOpened(const std::string& name);
} // namespace detail

} // namespace platform

template <> struct std::is_error_code_enum<platform::FileError> : std::true_type {};
