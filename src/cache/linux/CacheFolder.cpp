#include "cache/CacheFolder.h"

#include "cache/CacheError.h"
#include "platform/FileFacts.h"
#include "platform/FileOps.h"

#include <cstdlib>
#include <mutex>

namespace {

/// The folder tests put in place of the usual one; made on first use, so that a replacement made
/// while other files' globals are set up is never lost.
struct Override {
    std::mutex mutex;
    std::string folder;
};

Override& folderOverride() {
    static Override instance;
    return instance;
}

} // namespace

std::string DefaultCacheFolder() {
    {
        Override& replacement = folderOverride();
        const std::lock_guard lock(replacement.mutex);
        if (!replacement.folder.empty()) {
            return replacement.folder;
        }
    }
    if (platform::runningAsRoot()) {
        return "/var/cache/kesto";
    }
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/kesto";
    }
    const std::string home = platform::homeFolder();
    return home.empty() ? std::string() : home + "/.cache/kesto";
}

std::string ExchangeDefaultCacheFolder(std::string folder) {
    Override& replacement = folderOverride();
    const std::lock_guard lock(replacement.mutex);
    std::swap(replacement.folder, folder);
    return folder;
}

std::error_code OpenCacheFolder(const std::string& path, platform::FolderHandle& folder) {
    if (path.empty()) {
        return make_error_code(CacheError::NoFolder);
    }
    if (const std::error_code error = platform::createPrivateFolder(path)) {
        return error;
    }
    // The last name is opened without following a link; its owner and mode are read from the
    // descriptor held, which is what the store is then reached through.
    if (const std::error_code error = folder.openPath(path)) {
        return error == std::errc::too_many_symbolic_link_levels ||
                       error == std::errc::not_a_directory
                   ? make_error_code(CacheError::NotAFile)
                   : error;
    }
    platform::FileFacts facts;
    if (const std::error_code error = platform::folderFacts(folder, facts)) {
        return error;
    }
    if (facts.uid != platform::effectiveUser()) {
        return make_error_code(CacheError::ForeignOwner);
    }
    if ((facts.mode & 0022) != 0) {
        return make_error_code(CacheError::OpenToOthers);
    }
    return {};
}
