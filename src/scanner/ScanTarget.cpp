#include "scanner/ScanTarget.h"

#include "platform/FolderListing.h"
#include "platform/ProgramFolder.h"

#include <filesystem>

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
    const std::size_t slash = path.rfind(platform::kPathSeparator);
    const std::string folder =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
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
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_type type = fs::symlink_status(path, ec).type();
    switch (type) {
    case fs::file_type::directory:
        return resolvedFolder(path, target);
    case fs::file_type::regular:
        return resolvedFile(path, target);
    case fs::file_type::symlink:
        // A link to a folder is entered as before; a link to anything else is not followed.
        if (fs::is_directory(fs::status(path, ec))) {
            return resolvedFolder(path, target);
        }
        return "a symbolic link, not followed (only links to folders are)";
    case fs::file_type::not_found:
    case fs::file_type::none:
        return (ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory)).message();
    default:
        return "not a regular file or folder";
    }
}
