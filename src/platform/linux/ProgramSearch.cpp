#include "platform/ProgramSearch.h"

#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<std::string> findProgram(const std::string& name, const std::string& searchPath) {
    if (name.empty() || name.find('/') != std::string::npos) {
        return std::nullopt;
    }
    std::string_view rest = searchPath;
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        if (!folder.empty()) {
            std::string candidate(folder);
            if (candidate.back() != '/') {
                candidate += '/';
            }
            candidate += name;
            if (isRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        rest.remove_prefix(colon + 1);
    }
}

std::string searchPath() {
    const char* path = std::getenv("PATH");
    return path != nullptr ? path : "";
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace platform
