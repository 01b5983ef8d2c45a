#pragma once

#include "platform/FolderHandle.h"

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>
#include <windows.h>

/// What the Windows file layer shares: owned handles, errors, opening one name relative to a
/// folder handle, and what a handle is (identity, stamp, link or not).
namespace platform::windows {

/// Closes a handle when it goes out of scope.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle)
        : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(OwnedHandle&& other) noexcept : m_handle(other.release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != nullptr; }
    HANDLE release() {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void reset(HANDLE handle = nullptr) {
        if (m_handle != nullptr) {
            CloseHandle(m_handle);
        }
        m_handle = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

private:
    HANDLE m_handle = nullptr;
};

/// GetLastError() as an error code of the system category.
std::error_code lastError();
/// An NTSTATUS as the Win32 error it stands for.
std::error_code ntError(long status);

/// Whether `name` is one plain name: not empty, not "." or "..", without a separator, a stream
/// (":") or a NUL. Anything else could leave the folder it is opened in.
bool isSingleName(const std::string& name);

/// How `openRelative` opens a name.
struct RelativeOpen {
    ACCESS_MASK access = FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ULONG disposition = 1; ///< FILE_OPEN
    ULONG options = 0;     ///< added to FILE_OPEN_REPARSE_POINT and synchronous I/O
    ULONG attributes = FILE_ATTRIBUTE_NORMAL;
    /// False opens what a reparse point stands for; only for kinds that are no link.
    bool reparsePointItself = true;
};

/// The NT create dispositions and options `RelativeOpen` takes.
inline constexpr ULONG kFileOpen = 1;
inline constexpr ULONG kFileCreate = 2;
inline constexpr ULONG kDirectoryFile = 0x00000001;
inline constexpr ULONG kNonDirectoryFile = 0x00000040;
inline constexpr ULONG kOpenForBackup = 0x00004000;
inline constexpr ULONG kDeleteOnClose = 0x00001000;

/// Opens the entry `name` of the folder `folder` by its handle (NtCreateFile with the folder as
/// the root), never following a link or junction: a reparse point opens as itself. An empty
/// `name` opens the folder again. Names that are not single names are refused.
std::error_code openRelative(HANDLE folder, const std::string& name, const RelativeOpen& how,
                             OwnedHandle& out);

/// Gives the open file `file` the name `name` in the folder `folder` (NtSetInformationFile, so
/// that the name is taken relative to the folder handle and never as a path). An existing file
/// of that name is replaced only when `replace` is set.
std::error_code renameRelative(HANDLE file, HANDLE folder, const std::string& name, bool replace);

/// The facts of an open handle.
struct HandleFacts {
    DWORD attributes = 0;
    DWORD reparseTag = 0;
    FileId id;
    FileStamp stamp;
    std::uint32_t links = 0;
};
std::error_code factsOfHandle(HANDLE handle, HandleFacts& facts);

/// Whether a reparse point redirects its name elsewhere (a symbolic link, a junction, or any
/// other name surrogate). Those are links; other reparse points (deduplicated or cloud files)
/// hold their data in place.
bool isLink(DWORD attributes, DWORD reparseTag);

/// Whether the handle is an ordinary disk file: no folder, link, device, pipe or console.
bool isDiskFile(HANDLE handle, const HandleFacts& facts);

/// Nanoseconds since 1970 of a FILETIME-style count of 100 ns since 1601.
std::int64_t fileTimeToNs(std::int64_t ticks);

/// Opens a path with CreateFileW for reading and refuses anything but a disk file: a device
/// name is refused before it is opened, a folder with std::errc::is_a_directory, a link (when
/// links are not followed), pipe or device with FileError::NotRegularFile.
std::error_code openDiskFile(const std::string& path, bool followLinks, ACCESS_MASK access,
                             OwnedHandle& out, HandleFacts& facts);

/// Opens the entry `name` of `folder` for `access` as a disk file, never following a link (a
/// link is FileError::NotRegularFile, as is a folder or device). A reparse point that is no link
/// (a deduplicated or cloud file) is opened once more for its data, and must be the same file.
std::error_code openDiskFileAt(HANDLE folder, const std::string& name, ACCESS_MASK access,
                               OwnedHandle& out, HandleFacts& facts);

/// The path of an open file or folder as GetFinalPathNameByHandleW gives it, in the "\\?\"
/// form that Win32 calls take.
std::error_code finalPath(HANDLE handle, std::wstring& path);

/// A "\\?\C:\..." or "\\?\UNC\server\..." path as users write it: "C:\...", "\\server\...".
std::wstring withoutLongPrefix(const std::wstring& path);

/// Opens a folder by its path: links before the last component are followed, a final link or
/// junction is refused, and anything but a folder fails with std::errc::not_a_directory. The
/// handle is opened for `access` and reading attributes.
std::error_code openFolderPath(const std::wstring& path, OwnedHandle& out, FileId& id,
                               ACCESS_MASK access = FILE_LIST_DIRECTORY | FILE_TRAVERSE |
                                                    FILE_READ_ATTRIBUTES | SYNCHRONIZE);

/// The error a refused link gives: the same as an O_NOFOLLOW open of a symbolic link.
std::error_code linkRefused();

/// Marks the open file for deletion; it goes when its last handle closes.
std::error_code deleteOpenFile(HANDLE handle);

/// The attributes a file "made normal" loses.
inline constexpr DWORD kNormalCleared = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

/// Opens the file `name` of `folder` for `access`, never through a link and never a folder.
std::error_code openFileAt(HANDLE folder, const std::string& name, ACCESS_MASK access,
                           OwnedHandle& handle, HandleFacts& facts);

/// Writes all of `data` to the open file.
std::error_code writeAll(HANDLE handle, const char* data, std::size_t count);

/// Gives the open file the attributes `attributes` (none: FILE_ATTRIBUTE_NORMAL).
std::error_code setAttributes(HANDLE handle, DWORD attributes);

/// Copies the open file `source` to a new file `target` of `to` (never an existing one), flushes
/// it and only then deletes the source through the handle that was copied from, so no other file
/// that took its name meanwhile is touched. On any failure the new file is removed and the source
/// stays.
std::error_code copyThenRemove(HANDLE source, const FolderHandle& to, const std::string& target);

/// Reads every entry of the open folder `folder` from its start, "." and ".." left out, and hands
/// each record to `visit` in the order the file system gives them. The folder is read through a
/// handle of its own, so a position another user of `folder` relies on never moves. For a reparse
/// point the record holds the reparse tag in place of the EA size.
std::error_code readFolderRecords(HANDLE folder,
                                  const std::function<void(const FILE_ID_BOTH_DIR_INFO&)>& visit);

} // namespace platform::windows
