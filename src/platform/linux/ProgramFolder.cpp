#include "platform/ProgramFolder.h"

#include <climits>
#include <unistd.h>

namespace platform {

std::string programFolder() {
    std::string buffer(PATH_MAX, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) {
        return ".";
    }
    buffer.resize(static_cast<std::size_t>(length));
    const auto slash = buffer.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : buffer.substr(0, slash);
}

} // namespace platform
