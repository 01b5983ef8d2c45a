#include "scanner/ScanTarget.h"

#include "platform/FolderListing.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"

#include <algorithm>

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

} // namespace

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
