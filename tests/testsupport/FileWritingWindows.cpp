#include "platform/windows/WideText.h"
#include "testsupport/SampleFiles.h"

#include <algorithm>
#include <stdexcept>
#include <windows.h>

namespace testsupport {

namespace {

/// Creates every missing folder above the file `path` (in the form `widePath` gives).
void createParents(const std::wstring& path) {
    // Skip the "\\?\" prefix and the drive, which exist or cannot be created.
    std::size_t from = path.starts_with(L"\\\\?\\") ? 4 : 0;
    if (path.size() > from + 2 && path[from + 1] == L':') {
        from += 3;
    }
    for (auto at = path.find(L'\\', from); at != std::wstring::npos;
         at = path.find(L'\\', at + 1)) {
        const std::wstring folder = path.substr(0, at);
        if (!::CreateDirectoryW(folder.c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS) {
            throw std::runtime_error("cannot create the folder " +
                                     platform::windows::narrow(folder));
        }
    }
}

} // namespace

void writeFile(const std::string& path, std::string_view content) {
    const std::wstring wide = platform::windows::win32Path(path);
    createParents(wide);
    const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot write " + path);
    }
    bool written = true;
    while (written && !content.empty()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 30));
        DWORD done = 0;
        written = ::WriteFile(file, content.data(), piece, &done, nullptr) && done > 0;
        content.remove_prefix(done);
    }
    written = ::CloseHandle(file) && written;
    if (!written) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string readFile(const std::string& path) {
    const HANDLE file = ::CreateFileW(platform::windows::win32Path(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        content.append(buffer, got);
    }
    ::CloseHandle(file);
    return content;
}

} // namespace testsupport
