#include "cache/CacheFolder.h"

#include "cache/CacheError.h"

std::string DefaultCacheFolder() {
    return {};
}

std::string ExchangeDefaultCacheFolder(std::string folder) {
    (void)folder;
    return {};
}

std::error_code OpenCacheFolder(const std::string& path, platform::FolderHandle& folder) {
    (void)path;
    (void)folder;
    return make_error_code(CacheError::Unavailable);
}
