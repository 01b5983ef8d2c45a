#include "platform/EntryStamp.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

namespace platform {

std::error_code entryStamp(const std::string& path, FileStamp& stamp) {
    const std::wstring wide = windows::win32Path(path);
    if (wide.empty() || windows::namesDevice(path)) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    // Reading attributes needs no share access; a reparse point is looked at as itself.
    const windows::OwnedHandle itself(
        CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!itself.valid()) {
        return windows::lastError();
    }
    windows::HandleFacts facts;
    if (const std::error_code error = windows::factsOfHandle(itself.get(), facts)) {
        return error;
    }
    stamp = facts.stamp;
    return {};
}

} // namespace platform
