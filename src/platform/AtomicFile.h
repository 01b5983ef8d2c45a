#pragma once

#include "platform/FolderHandle.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <system_error>

namespace platform {

/// The call that writes bytes to a file (`::write` by default, `WriteFile` on Windows). Tests
/// install one that fails after a number of bytes, because a write cannot be made to fail by
/// permissions alone when the tests run as root.
using WriteCall = std::function<ssize_t(NativeHandle fd, const void* data, std::size_t size)>;
/// Replaces the write call of every atomic replacement; an empty call restores `::write`.
/// Returns the call installed before.
WriteCall setWriteCall(WriteCall call);

/// Asked by `AtomicReplacement::commit` after the new content is on the disk and just before it
/// replaces the target; an error keeps the target as it is.
using CommitCheck = std::function<std::error_code()>;

/// Replaces the file `name` of a folder as one step: the new content goes to a temporary file in
/// the same folder, is flushed, gets the mode, and is renamed over the target; then the folder is
/// flushed. The new file keeps the mode (and, where allowed, the owner) of the file it
/// replaces. Until `commit` succeeds the target is untouched; a replacement that is dropped or
/// fails removes its temporary file. On Linux the temporary file is locked (flock) while the
/// replacement has it open, so `removeStaleTemporaries` can tell it from one a killed program
/// left behind.
class AtomicReplacement {
public:
    AtomicReplacement() = default;
    ~AtomicReplacement();
    AtomicReplacement(const AtomicReplacement&) = delete;
    AtomicReplacement& operator=(const AtomicReplacement&) = delete;

    /// Creates the temporary file beside `name` in `folder` (which must stay open until the end).
    std::error_code begin(const FolderHandle& folder, const std::string& name, mode_t mode);
    /// Appends bytes to the temporary file.
    std::error_code write(const void* data, std::size_t size);
    /// Flushes, asks `check` (when given), renames over the target and flushes the folder.
    std::error_code commit(const CommitCheck& check = {});
    /// Removes the temporary file; the target stays as it was.
    void abandon();

    /// The temporary file's name, empty when there is none.
    const std::string& temporaryName() const { return m_temporary; }

private:
    NativeHandle m_folder = kNoHandle;
    NativeHandle m_fd = kNoHandle;
    mode_t m_mode = 0;
    /// The replaced file's owner and group; all bits set when there is none to keep.
    std::uint32_t m_owner = UINT32_MAX;
    std::uint32_t m_group = UINT32_MAX;
    std::string m_name;
    std::string m_temporary;
};

/// Removes what replacements of `name` left in `folder` when their program was killed: entries
/// named as `begin` names a temporary file of `name` that are regular files of the effective
/// user with one name and that no live replacement holds. Anything else stays. Windows has no
/// such cleanup yet: there it does nothing.
void removeStaleTemporaries(const FolderHandle& folder, const std::string& name);

/// Replaces the file at `path` with `content` through an `AtomicReplacement`. The new file keeps
/// the mode of the file it replaces, or gets `mode` when there is none.
std::error_code replaceFile(const std::string& path, std::string_view content, mode_t mode);

/// The same for the file `name` of an open folder.
std::error_code replaceFileIn(const FolderHandle& folder, const std::string& name,
                              std::string_view content, mode_t mode);

} // namespace platform
