#pragma once

#include "platform/FileFacts.h"
#include "platform/FolderHandle.h"

#include <cstddef>
#include <optional>
#include <string>
#include <system_error>

namespace platform {

/// A file written fresh by this program under a temporary name and then given its final name in
/// the same folder, never replacing a file there. No other user ever held the new file, so its
/// mode and owner can be given safely; a writer that is stopped halfway leaves only the
/// temporary name, which the next writer of that name (or `removeStale`) removes.
class NewFile {
public:
    NewFile() = default;
    /// Removes the temporary file unless it was placed.
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    /// Creates the empty file `temporary` in `folder` (which must stay open until the end),
    /// readable and writable by this user only, never an existing file and never through a link.
    /// One that an interrupted writer left first goes as `removeStale` removes it; one that a
    /// writer still holds fails with std::errc::device_or_resource_busy.
    std::error_code create(const FolderHandle& folder, const std::string& temporary);
    /// Appends bytes.
    std::error_code write(const void* data, std::size_t size);
    /// Flushes the content and gives the file `owner` (when given) and then `mode`.
    std::error_code finish(std::uint32_t mode, const std::optional<FileOwner>& owner);
    /// Gives the file the name `target` in its folder unless that name is taken
    /// (std::errc::file_exists), and checks that the name holds this file afterwards.
    std::error_code place(const std::string& target);
    /// Removes the temporary file.
    void abandon();

    /// Removes the file `temporary` of `folder` when an interrupted writer of this user left it:
    /// a regular file of this user's with one link that no writer holds any more. A missing one
    /// is no error; any other file of that name is left alone (std::errc::file_exists) and one
    /// still held is std::errc::device_or_resource_busy.
    static std::error_code removeStale(const FolderHandle& folder, const std::string& temporary);

private:
    const FolderHandle* m_folder = nullptr;
    NativeHandle m_fd = kNoHandle;
    std::string m_temporary;
    FileId m_id;
};

} // namespace platform
