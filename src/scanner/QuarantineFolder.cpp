#include "scanner/QuarantineFolder.h"

#include "platform/FileOps.h"
#include "platform/FolderListing.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "scanner/DetectionActions.h"

#include <algorithm>

namespace {

bool isFolder(const std::string& path) {
    std::error_code ec;
    const platform::PathKind kind = platform::pathKind(path, ec);
    return kind == platform::PathKind::Folder || kind == platform::PathKind::LinkToFolder;
}

} // namespace

std::string DefaultQuarantineFolder() {
    return platform::homeFolder() + platform::kPathSeparator + std::string(kQuarantineName);
}

std::string ResolveQuarantineFolder(const std::string& chosen) {
    std::string canonical;
    if (!platform::canonicalFolder(chosen, canonical)) {
        return canonical;
    }
    // Not there yet: the nearest existing folder above it decides where it will be.
    const std::string absolute = platform::absolutePath(chosen);
    const std::size_t root = platform::pathRootLength(absolute);
    std::string existing = absolute;
    std::string rest;
    while (existing.size() > root && !isFolder(existing)) {
        const std::size_t separator = platform::lastPathSeparator(existing);
        if (separator == std::string::npos) {
            break;
        }
        const std::string name = existing.substr(separator + 1);
        rest = rest.empty() ? name : name + platform::kPathSeparator + rest;
        existing.resize(std::max(separator, root));
    }
    std::string resolved = absolute;
    if (!platform::canonicalFolder(existing, canonical)) {
        resolved = canonical;
        if (!rest.empty()) {
            if (!platform::isPathSeparator(resolved.back())) {
                resolved += platform::kPathSeparator;
            }
            resolved += rest;
        }
    }
    const std::size_t keep = std::max<std::size_t>(platform::pathRootLength(resolved), 1);
    while (resolved.size() > keep && platform::isPathSeparator(resolved.back())) {
        resolved.pop_back();
    }
    return resolved;
}
