#include "platform/AccessEvents.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

#include <windows.h>

namespace platform {

// Windows reports file accesses before they happen only to file system minifilter drivers;
// this program has none, so there is nothing to listen to.
std::unique_ptr<AccessEvents> openAccessEvents(std::error_code& error) {
    error = AccessError::Unsupported;
    return nullptr;
}

void closeAccessFile(NativeHandle file) {
    if (file != kNoHandle && file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}

std::string openFilePath(NativeHandle file) {
    std::wstring path;
    if (file == kNoHandle || file == INVALID_HANDLE_VALUE || windows::finalPath(file, path)) {
        return {};
    }
    return windows::narrow(windows::withoutLongPrefix(path));
}

bool favourAnsweringThread() {
    return false; // no access events to answer here
}

std::int32_t currentProcessId() {
    return static_cast<std::int32_t>(GetCurrentProcessId());
}

} // namespace platform
