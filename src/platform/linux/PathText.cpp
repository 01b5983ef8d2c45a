#include "platform/PathText.h"

#include <filesystem>

namespace platform {

std::size_t pathRootLength(std::string_view path) {
    return path.starts_with('/') ? 1 : 0;
}

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
    while (absolute.size() > 1 && absolute.back() == '/') {
        absolute.pop_back();
    }
    return absolute;
}

PathKind pathKind(const std::string& path, std::error_code& ec) {
    namespace fs = std::filesystem;
    switch (fs::symlink_status(path, ec).type()) {
    case fs::file_type::directory:
        return PathKind::Folder;
    case fs::file_type::regular:
        return PathKind::RegularFile;
    case fs::file_type::symlink: {
        std::error_code ignored;
        return fs::is_directory(fs::status(path, ignored)) ? PathKind::LinkToFolder
                                                           : PathKind::OtherLink;
    }
    case fs::file_type::not_found:
    case fs::file_type::none:
        return PathKind::Missing;
    default:
        return PathKind::Other;
    }
}

bool samePath(std::string_view a, std::string_view b) {
    return a == b;
}

bool isWithinFolder(std::string_view path, std::string_view folder) {
    if (folder.empty() || !path.starts_with(folder)) {
        return false;
    }
    // The next character must end the folder's last name.
    return folder.back() == '/' || path.size() == folder.size() || path[folder.size()] == '/';
}

} // namespace platform
