#include "platform/windows/WideText.h"
#include "testsupport/TempDir.h"

#include <random>
#include <stdexcept>
#include <windows.h>

namespace testsupport {

namespace {

/// Removes the folder `path` ("\\?\" form) and everything in it. Read-only, hidden and system
/// attributes are cleared first, since DeleteFileW refuses a read-only file. A link or junction
/// is removed itself; what it points to is never entered.
void removeTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    const HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring child = path + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (folder && !link) {
                removeTree(child);
            } else if (folder) {
                ::RemoveDirectoryW(child.c_str());
            } else {
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(find, &entry));
        ::FindClose(find);
    }
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(path.c_str());
}

/// The system's temporary folder in its long form, without a trailing separator.
std::wstring temporaryFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) {
        throw std::runtime_error("cannot find the temporary folder");
    }
    // A short (8.3) form would differ from the names a folder listing gives back.
    wchar_t longForm[4096];
    const DWORD longLength = ::GetLongPathNameW(buffer, longForm, 4096);
    std::wstring folder = longLength > 0 && longLength < 4096 ? longForm : buffer;
    while (!folder.empty() && folder.back() == L'\\') {
        folder.pop_back();
    }
    return folder;
}

} // namespace

TempDir::TempDir() {
    const std::wstring parent = temporaryFolder();
    std::random_device seed;
    std::mt19937 random(seed() ^ ::GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring name = L"kesto-test-" + std::to_wstring(random() % 100000000u);
        const std::wstring path = parent + L"\\" + name;
        if (::CreateDirectoryW(path.c_str(), nullptr)) {
            m_path = platform::windows::narrow(path);
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    removeTree(platform::windows::win32Path(m_path));
}

std::string TempDir::file(std::string_view relative) const {
    std::string path = m_path + "\\" + std::string(relative);
    for (std::size_t at = m_path.size(); at < path.size(); ++at) {
        if (path[at] == '/') {
            path[at] = '\\';
        }
    }
    return path;
}

} // namespace testsupport
