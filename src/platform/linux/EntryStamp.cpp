#include "platform/EntryStamp.h"

#include "platform/linux/StatStamp.h"
#include "platform/linux/SystemCall.h"

#include <sys/stat.h>

namespace platform {

std::error_code entryStamp(const std::string& path, FileStamp& stamp) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return linux_calls::lastError();
    }
    stamp = stampOf(info);
    return {};
}

} // namespace platform
