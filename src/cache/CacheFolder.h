#pragma once

#include "platform/FolderHandle.h"

#include <string>
#include <system_error>

/// The folder of the verdict cache of the user running the program: "/var/cache/kesto" for root
/// (whatever the environment says, so that a variable kept through sudo never moves root's cache
/// into a user's folder), else "$XDG_CACHE_HOME/kesto" when that variable holds an absolute path,
/// else "~/.cache/kesto". Empty when there is no home folder.
std::string DefaultCacheFolder();

/// Replaces what DefaultCacheFolder gives (tests keep their scans' caches in folders of their
/// own); an empty text puts the usual folder back. Returns the replacement it replaced.
std::string ExchangeDefaultCacheFolder(std::string folder);

/// Opens the cache folder at `path`, making it (open to its owner only) and its missing parents
/// when it is missing. A folder that is a link, is owned by another user or may be changed by
/// other users is refused (CacheError), and so is one that is not a folder at all.
std::error_code OpenCacheFolder(const std::string& path, platform::FolderHandle& folder);
