#include "scanner/ScanTarget.h"

#include "platform/FolderListing.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "scanner/Exclusions.h"
#include "scanner/PrintableName.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace {

std::string resolvedFolder(const std::string& path, ScanTarget& target) {
    std::string canonical;
    if (const auto ec = platform::canonicalFolder(path, canonical)) {
        return ec.message();
    }
    target = ScanTarget{ScanTarget::Kind::Folder, canonical};
    return {};
}

std::string resolvedFile(const std::string& path, ScanTarget& target) {
    const std::size_t slash = platform::lastPathSeparator(path);
    // A file right below the root is in the root itself ("/", "C:\"), separator included.
    const std::string folder =
        slash == std::string::npos
            ? std::string(".")
            : path.substr(0, std::max(slash, platform::pathRootLength(path)));
    std::string canonical;
    if (const auto ec = platform::canonicalFolder(folder, canonical)) {
        return ec.message();
    }
    if (!canonical.ends_with(platform::kPathSeparator)) {
        canonical += platform::kPathSeparator;
    }
    target = ScanTarget{ScanTarget::Kind::File,
                        canonical + (slash == std::string::npos ? path : path.substr(slash + 1))};
    return {};
}

/// The path of `path` below the folder `folder`, when it lies there (empty for the folder itself).
std::optional<std::string> pathBelow(const std::string& folder, const std::string& path) {
    if (path == folder) {
        return std::string();
    }
    // A root ("/", "C:\") ends with its separator already.
    const std::size_t start =
        platform::isPathSeparator(folder.back()) ? folder.size() : folder.size() + 1;
    if (path.size() <= start || path.compare(0, folder.size(), folder) != 0 ||
        !platform::isPathSeparator(path[start - 1])) {
        return std::nullopt;
    }
    return path.substr(start);
}

/// Whether the walk of a folder reaches the entry at `relative` below it: no folder on the way,
/// nor the entry itself, is passed over.
bool walkReaches(const std::string& relative, bool isFolder, const Exclusions& exclusions) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t separator = relative.find(platform::kPathSeparator, start);
        const std::string_view folder = std::string_view(relative).substr(0, start);
        const std::string name = relative.substr(
            start, separator == std::string::npos ? std::string::npos : separator - start);
        if (separator == std::string::npos) {
            return isFolder ? !exclusions.excludesFolder(folder, name)
                            : !exclusions.excludesFile(folder, name);
        }
        if (exclusions.excludesFolder(folder, name)) {
            return false;
        }
        start = separator + 1;
    }
}

std::string quoted(const std::string& path) {
    return "'" + PrintableName(path) + "'";
}

} // namespace

std::vector<std::string> SettleOverlaps(std::vector<ScanTarget>& targets,
                                        const Exclusions& exclusions) {
    std::vector<std::string> notes;
    std::vector<ScanTarget> kept;
    for (ScanTarget& target : targets) {
        const bool isFolder = target.kind == ScanTarget::Kind::Folder;
        const ScanTarget* coveredBy = nullptr;
        for (const ScanTarget& earlier : kept) {
            if (target.kind == ScanTarget::Kind::Stream ||
                earlier.kind == ScanTarget::Kind::Stream) {
                continue;
            }
            if (earlier.path == target.path) {
                coveredBy = &earlier;
                break;
            }
            if (earlier.kind == ScanTarget::Kind::Folder) {
                const auto below = pathBelow(earlier.path, target.path);
                if (below && walkReaches(*below, isFolder, exclusions)) {
                    coveredBy = &earlier;
                    break;
                }
            }
        }
        if (coveredBy != nullptr) {
            notes.push_back(coveredBy->path == target.path
                                ? quoted(target.path) +
                                      " is named more than once; it is scanned once"
                                : quoted(target.path) + " is scanned already as part of " +
                                      quoted(coveredBy->path));
            continue;
        }
        if (isFolder) {
            for (const ScanTarget& earlier : kept) {
                if (earlier.kind == ScanTarget::Kind::Stream) {
                    continue;
                }
                const auto below = pathBelow(target.path, earlier.path);
                if (below && !below->empty()) {
                    target.passOver.push_back(*below);
                    notes.push_back(quoted(earlier.path) + " is scanned already; the scan of " +
                                    quoted(target.path) + " passes over it");
                }
            }
        }
        kept.push_back(std::move(target));
    }
    targets = std::move(kept);
    return notes;
}

std::string ResolveScanTarget(const std::string& path, ScanTarget& target) {
    std::error_code ec;
    switch (platform::pathKind(path, ec)) {
    case platform::PathKind::Folder:
        return resolvedFolder(path, target);
    case platform::PathKind::RegularFile:
        return resolvedFile(path, target);
    case platform::PathKind::LinkToFolder:
        // A link to a folder is entered as before; a link to anything else is not followed.
        return resolvedFolder(path, target);
    case platform::PathKind::OtherLink:
        return "a symbolic link, not followed (only links to folders are)";
    case platform::PathKind::Missing:
        return (ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory)).message();
    case platform::PathKind::Other:
        break;
    }
    return "not a regular file or folder";
}
