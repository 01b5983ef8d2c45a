#include "platform/ChildFolder.h"

#include "platform/linux/SystemCall.h"

#include <sys/stat.h>

namespace platform {

std::error_code makeChildFolder(const FolderHandle& parent, const std::string& name,
                                std::uint32_t mode) {
    // As FolderHandle::openChild: one component, never a way out of the folder.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    if (::mkdirat(parent.fd(), name.c_str(), static_cast<mode_t>(mode)) != 0) {
        return linux_calls::lastError();
    }
    return {};
}

} // namespace platform
