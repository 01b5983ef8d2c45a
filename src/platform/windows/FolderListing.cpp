#include "platform/FolderListing.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

namespace platform {

std::error_code canonicalFolder(const std::string& path, std::string& canonical) {
    const std::wstring wide = windows::win32Path(path);
    if (wide.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    // Opened following links, so that the final path is the folder's real one.
    windows::OwnedHandle handle(CreateFileW(
        wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.valid()) {
        return windows::lastError();
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.get(), &info)) {
        return windows::lastError();
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::make_error_code(std::errc::not_a_directory);
    }
    std::wstring resolved;
    if (const auto ec = windows::finalPath(handle.get(), resolved)) {
        return ec;
    }
    canonical = windows::narrow(windows::withoutLongPrefix(resolved));
    return {};
}

} // namespace platform
