#include "platform/ProgramFolder.h"

#include "platform/windows/WideText.h"

#include <windows.h>

namespace platform {

std::string programFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return ".";
        }
        // A name that filled the buffer may have been cut short.
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    const std::size_t slash = buffer.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return ".";
    }
    // "C:\kesto.exe" lies in the root, which keeps its separator.
    return windows::narrow(buffer.substr(0, slash == 2 ? 3 : slash));
}

} // namespace platform
