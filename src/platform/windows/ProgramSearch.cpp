#include "platform/ProgramSearch.h"

#include "platform/PathText.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

#include <string_view>

namespace platform {

std::optional<std::string> findProgram(const std::string& name, const std::string& searchPath) {
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos) {
        return std::nullopt;
    }
    std::string_view rest = searchPath;
    while (true) {
        const std::size_t end = rest.find(';');
        const std::string_view folder = rest.substr(0, end);
        if (!folder.empty()) {
            std::string candidate(folder);
            if (!isPathSeparator(candidate.back())) {
                candidate += '\\';
            }
            candidate += name;
            // Windows has no execute bit: a regular file of that name is the program.
            if (isRegularFile(candidate)) {
                return candidate;
            }
        }
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        rest.remove_prefix(end + 1);
    }
}

std::string searchPath() {
    std::wstring buffer(1024, L'\0');
    for (;;) {
        const DWORD length =
            GetEnvironmentVariableW(L"PATH", buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return windows::narrow(buffer);
        }
        buffer.resize(length);
    }
}

bool isFolder(const std::string& path) {
    const std::wstring wide = windows::win32Path(path);
    if (wide.empty() || windows::namesDevice(path)) {
        return false;
    }
    // Opened following links, as a look at the path by name does.
    const windows::OwnedHandle handle(CreateFileW(
        wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    windows::HandleFacts facts;
    return handle.valid() && !windows::factsOfHandle(handle.get(), facts) &&
           (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isRegularFile(const std::string& path) {
    windows::OwnedHandle handle;
    windows::HandleFacts facts;
    return !windows::openDiskFile(path, true, FILE_READ_ATTRIBUTES, handle, facts);
}

} // namespace platform
