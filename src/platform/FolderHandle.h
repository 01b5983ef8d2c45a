#pragma once

#include "platform/FolderListing.h"
#include "platform/InputFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace platform {

/// What tells one file-system object from every other: its device and inode.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

/// The file system a folder lies on.
struct VolumeFacts {
    /// The file system's id as the system reports it (statfs), which tells mounted file systems
    /// apart; 0 where it gives none.
    std::uint64_t id = 0;
    /// Whether it is a local file system that stamps every change of a file or folder with the
    /// time of this computer's clock (see FolderHandle::changeTimeIsTrusted).
    bool changeTimesTrusted = false;
};

/// The file system that holds the open file or folder `handle`; none where the system cannot
/// say.
std::optional<VolumeFacts> volumeOf(NativeHandle handle);

/// An open folder. Everything below it is reached relative to its descriptor by single names
/// without following symbolic links, so a folder swapped for a link is never entered and no path
/// is ever too long.
class FolderHandle {
public:
    FolderHandle() = default;
    ~FolderHandle();
    FolderHandle(FolderHandle&& other) noexcept;
    FolderHandle& operator=(FolderHandle&& other) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    /// Opens a folder by its path; links before the last component are followed.
    std::error_code openPath(const std::string& path);
    /// Opens the subfolder `name` of `parent`; a link, or anything but a folder, is refused.
    std::error_code openChild(const FolderHandle& parent, const std::string& name);
    /// Opens the folder that holds `child` now ("..").
    std::error_code openParentOf(const FolderHandle& child);

    bool isOpen() const { return m_fd != kNoHandle; }
    NativeHandle fd() const { return m_fd; }
    /// The folder's identity when it was opened.
    FileId id() const { return m_id; }
    /// When the folder's entries or attributes last changed, as of its opening, in nanoseconds
    /// since 1970 by its file system's clock; empty where the system gives no such time.
    std::optional<std::int64_t> changeTime() const { return m_changeTime; }
    /// Whether the folder lies on a local file system that stamps every change of a folder's
    /// entries with the time of this computer's clock, so that a folder whose change time is the
    /// same as before, and was already in the past then, has the same entries.
    bool changeTimeIsTrusted() const;
    /// The file system the folder lies on; none where the system cannot say.
    std::optional<VolumeFacts> volume() const;
    void close();

    /// Lists the folder as `listFolder` does.
    std::error_code list(bool withSizes, std::vector<FolderEntry>& entries) const;
    /// The stamp of the entry `name` itself (a link is not followed); a folder or anything else
    /// that is not a regular file fails with FileError::NotRegularFile.
    std::error_code statFile(const std::string& name, FileStamp& stamp) const;

private:
    std::error_code adopt(NativeHandle fd);

    NativeHandle m_fd = kNoHandle;
    FileId m_id;
    std::optional<std::int64_t> m_changeTime;
};

} // namespace platform
