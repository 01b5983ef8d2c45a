#include "platform/SystemFacts.h"

#include "platform/windows/MemoryFigures.h"
#include "platform/windows/WideText.h"

#include <algorithm>
#include <lmcons.h>

namespace platform {

namespace {

std::uint64_t difference(std::uint64_t total, std::uint64_t part) {
    return total > part ? total - part : 0;
}

/// A folder from a call that takes a buffer and its size in characters and returns the length
/// written, or the size needed when the buffer is too small; empty when the call fails.
template <typename Call> std::string folderFrom(Call call) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (;;) {
        const UINT length = call(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return windows::narrow(buffer);
        }
        buffer.resize(length + 1);
    }
}

} // namespace

namespace windows {

MemoryStatus memoryStatusOf(const MEMORYSTATUSEX& figures) {
    MemoryStatus status;
    status.totalPhysical = figures.ullTotalPhys;
    status.availablePhysical = figures.ullAvailPhys;
    status.totalVirtual = figures.ullTotalVirtual;
    status.availableVirtual = figures.ullAvailVirtual;
    status.swapTotal = difference(figures.ullTotalPageFile, figures.ullTotalPhys);
    status.swapFree =
        std::min(difference(figures.ullAvailPageFile, figures.ullAvailPhys), status.swapTotal);
    return status;
}

} // namespace windows

std::string userName() {
    std::wstring buffer(UNLEN + 1, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!::GetUserNameW(buffer.data(), &size)) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return {};
        }
        buffer.assign(size, L'\0');
        if (!::GetUserNameW(buffer.data(), &size)) {
            return {};
        }
    }
    // The size counts the terminating null.
    buffer.resize(size > 0 ? size - 1 : 0);
    return windows::narrow(buffer);
}

std::string windowsFolder() {
    return folderFrom(
        [](wchar_t* buffer, UINT size) { return ::GetWindowsDirectoryW(buffer, size); });
}

std::string systemFolder() {
    return folderFrom(
        [](wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); });
}

MemoryStatus memoryStatus(const MemorySources&) {
    MEMORYSTATUSEX figures{};
    figures.dwLength = sizeof figures;
    if (!::GlobalMemoryStatusEx(&figures)) {
        return {};
    }
    return windows::memoryStatusOf(figures);
}

} // namespace platform
