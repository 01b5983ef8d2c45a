#include "platform/windows/WideText.h"

#include "platform/Wtf8.h"

#include <cstdint>
#include <windows.h>

namespace platform::windows {

std::wstring widen(std::string_view text) {
    const std::u16string units = wtf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

std::string narrow(std::wstring_view text) {
    const std::u16string units(text.begin(), text.end());
    return utf16ToWtf8(units);
}

namespace {

/// GetFullPathNameW with a buffer that grows until the result fits.
std::wstring fullPath(const std::wstring& path) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                              buffer.data(), nullptr);
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length);
    }
}

bool hasPrefix(const std::wstring& text, std::wstring_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::wstring win32Path(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    const std::wstring wide = widen(path);
    if (hasPrefix(wide, L"\\\\?\\")) {
        return wide;
    }
    const std::wstring full = fullPath(wide);
    if (full.empty()) {
        return {};
    }
    if (hasPrefix(full, L"\\\\.\\") || hasPrefix(full, L"\\\\?\\")) {
        return full;
    }
    if (hasPrefix(full, L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

bool namesDevice(const std::string& path) {
    const std::wstring wide = widen(path);
    return hasPrefix(wide, L"\\\\.\\") || hasPrefix(fullPath(wide), L"\\\\.\\");
}

} // namespace platform::windows
