#pragma once

#include <string>
#include <system_error>
#include <windows.h>

namespace platform::windows {

/// Who besides the running user may change a folder, as its owner and ACL say.
struct FolderAccess {
    /// The folder belongs to someone other than the running user, the system, the
    /// administrators or the installer service.
    bool foreignOwner = false;
    /// Someone else may add, replace or remove what is in it, change what it holds (through an
    /// entry its files inherit) or change its ACL; so may everyone when it has no ACL at all.
    bool othersMayChange = false;
};

/// What the owner and ACL in `descriptor` let others do, for the user running the program.
std::error_code accessOf(PSECURITY_DESCRIPTOR descriptor, FolderAccess& access);

/// Reads the owner and ACL of the folder open as `folder`. The folder is opened again to read
/// them, and only what has the same identity as `folder` is read.
std::error_code folderAccess(HANDLE folder, FolderAccess& access);

/// Makes the folder `path`, whose parent exists, with an ACL of its own that inherits nothing:
/// full control for the running user, the system and the administrators, no access for anyone
/// else, and the same for everything made in it later.
std::error_code createProtectedFolder(const std::wstring& path);

/// The ACL `createProtectedFolder` gives, in the security descriptor language.
std::error_code protectedFolderRules(std::wstring& rules);

} // namespace platform::windows
