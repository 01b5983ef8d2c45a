#include "scanner/QuarantineFolder.h"

#include "platform/FileOps.h"
#include "platform/FolderListing.h"
#include "scanner/DetectionActions.h"

#include <filesystem>

std::string DefaultQuarantineFolder() {
    return platform::homeFolder() + "/" + std::string(kQuarantineName);
}

std::string ResolveQuarantineFolder(const std::string& chosen) {
    std::string canonical;
    if (!platform::canonicalFolder(chosen, canonical)) {
        return canonical;
    }
    // Not there yet: the nearest existing folder above it decides where it will be.
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path absolute = fs::absolute(chosen, ec).lexically_normal();
    fs::path existing = absolute;
    fs::path rest;
    while (existing.has_relative_path() && !fs::is_directory(existing, ec)) {
        rest = existing.filename() / rest;
        existing = existing.parent_path();
    }
    std::string resolved = absolute.string();
    if (!platform::canonicalFolder(existing.string(), canonical)) {
        resolved = (fs::path(canonical) / rest).lexically_normal().string();
    }
    while (resolved.size() > 1 && resolved.back() == '/') {
        resolved.pop_back();
    }
    return resolved;
}
