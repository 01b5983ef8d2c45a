#pragma once

#include "platform/InputFile.h"

#include <string>
#include <system_error>

namespace platform {

/// The stamp of the entry at `path` itself, whatever kind of entry it is: a link is not
/// followed, so its own stamp is given. A missing entry fails with
/// std::errc::no_such_file_or_directory.
std::error_code entryStamp(const std::string& path, FileStamp& stamp);

} // namespace platform
