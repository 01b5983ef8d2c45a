#pragma once

#include "platform/FileFacts.h"
#include "platform/FolderHandle.h"

#include <string>
#include <system_error>

namespace platform {

/// A file taken out of its folder's reach for one action on exactly that file. Anyone who may
/// write a folder may swap a name in it at any moment, so a file is checked only once it is held:
/// on Linux it is first moved by name into a new folder beside it that only this program can
/// write (so on the same file system), and checked there; on Windows it is opened and checked
/// through one handle that every later step uses. A file that is not the one expected is put
/// back and FileError::Changed returned.
class HeldFile {
public:
    HeldFile() = default;
    /// Puts a file that was neither removed nor moved back under its name.
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    /// Takes the file `name` of `folder` (which must stay open while it is held) when it is the
    /// file `expected`.
    std::error_code take(const FolderHandle& folder, const std::string& name,
                         const FileId& expected);
    bool held() const { return m_held; }
    /// The held file's identity, length, mode and owner as it was taken.
    const FileFacts& facts() const { return m_facts; }

    /// Gives the held file's owner write permission and clears the read-only, hidden, system and
    /// archive attributes where the volume keeps them.
    std::error_code makeNormal();
    /// Removes the held file.
    std::error_code remove();
    /// Moves the held file into `to` as `target`, never replacing a file there (a taken name fails
    /// with std::errc::file_exists); across file systems it is copied, flushed, then removed.
    std::error_code moveTo(const FolderHandle& to, const std::string& target);
    /// Puts the held file back under its name (never over another file), and lets go of it.
    std::error_code putBack();

private:
    const FolderHandle* m_folder = nullptr;
    std::string m_name;
    FileFacts m_facts;
    bool m_held = false;
#ifdef _WIN32
    /// The handle every step uses.
    NativeHandle m_handle = kNoHandle;
#else
    /// The private folder the file is held in and its name beside the file.
    FolderHandle m_private;
    std::string m_privateName;
#endif

    void release();
};

/// The name a held file has inside its private folder.
inline constexpr const char* kHeldFileName = "held";

} // namespace platform
