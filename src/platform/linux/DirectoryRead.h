#pragma once

#include <dirent.h>
#include <functional>

namespace platform {

/// Reads the next entry of an open folder as `readdir` does: nullptr at the end, with errno set
/// only when the read failed. The folder listings read through it, so that a test can choose the
/// order in which the entries come.
using DirectoryRead = std::function<dirent*(DIR* folder)>;

/// Replaces `readdir` for the folder listings; an empty function restores it. Returns the
/// function installed before.
DirectoryRead setDirectoryRead(DirectoryRead read);

} // namespace platform
