#include "platform/Registry.h"

#include "platform/windows/WideText.h"

#include <utility>
#include <windows.h>

namespace platform {

namespace {

/// Query, set, make keys, list keys, notify and make links: what a key is opened for to be
/// read and written.
constexpr REGSAM kReadWrite = 0x3F | KEY_WOW64_64KEY;
constexpr REGSAM kReadOnly = KEY_READ | KEY_WOW64_64KEY;

/// The predefined key of a root number; nothing for any other number. The predefined handles
/// are the 32-bit numbers sign-extended.
HKEY predefinedKey(std::uint32_t root) {
    if (root < 0x80000000U || root > 0x80000005U) {
        return nullptr;
    }
    const auto value = static_cast<LONG_PTR>(static_cast<LONG>(root));
    return reinterpret_cast<HKEY>(value);
}

HKEY asKey(void* key) {
    return static_cast<HKEY>(key);
}

} // namespace

RegistryKey::~RegistryKey() {
    close();
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : m_key(std::exchange(other.m_key, nullptr)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        close();
        m_key = std::exchange(other.m_key, nullptr);
    }
    return *this;
}

void RegistryKey::close() {
    if (m_key != nullptr) {
        RegCloseKey(asKey(m_key));
        m_key = nullptr;
    }
}

long RegistryKey::open(std::uint32_t root, const std::string& path, bool create) {
    close();
    const HKEY parent = predefinedKey(root);
    if (parent == nullptr || path.find('\0') != std::string::npos) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::wstring wide = windows::widen(path);
    HKEY key = nullptr;
    LONG status = create ? RegCreateKeyExW(parent, wide.c_str(), 0, nullptr, 0, kReadWrite, nullptr,
                                           &key, nullptr)
                         : RegOpenKeyExW(parent, wide.c_str(), 0, kReadWrite, &key);
    if (status == ERROR_ACCESS_DENIED && !create) {
        status = RegOpenKeyExW(parent, wide.c_str(), 0, kReadOnly, &key);
    }
    if (status == ERROR_SUCCESS) {
        m_key = key;
    }
    return status;
}

long RegistryKey::query(const std::string& name, std::uint32_t& type, std::string& data) const {
    if (m_key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const std::wstring wide = windows::widen(name);
    std::string bytes;
    DWORD found = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExW(asKey(m_key), wide.c_str(), nullptr, &found, nullptr, &size);
    // The value may grow between asking its size and reading it.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        bytes.assign(size, '\0');
        status = RegQueryValueExW(asKey(m_key), wide.c_str(), nullptr, &found,
                                  reinterpret_cast<BYTE*>(bytes.data()), &size);
        if (status == ERROR_SUCCESS) {
            bytes.resize(size);
            break;
        }
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    type = found;
    if (found == REG_SZ || found == REG_EXPAND_SZ) {
        std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
        bytes.copy(reinterpret_cast<char*>(text.data()), text.size() * sizeof(wchar_t));
        if (!text.empty() && text.back() == L'\0') {
            text.pop_back();
        }
        data = windows::narrow(text);
    } else {
        data = std::move(bytes);
    }
    return ERROR_SUCCESS;
}

long RegistryKey::set(const std::string& name, std::uint32_t type, const std::string& data) const {
    if (m_key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const std::wstring wide = windows::widen(name);
    std::string bytes = data;
    if (type == kRegistryText) {
        const std::wstring text = windows::widen(data);
        bytes.assign(reinterpret_cast<const char*>(text.c_str()),
                     (text.size() + 1) * sizeof(wchar_t));
    }
    return RegSetValueExW(asKey(m_key), wide.c_str(), 0, type,
                          reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
}

long RegistryKey::removeValue(const std::string& name) const {
    if (m_key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    return RegDeleteValueW(asKey(m_key), windows::widen(name).c_str());
}

long removeRegistryKey(std::uint32_t root, const std::string& path) {
    const HKEY parent = predefinedKey(root);
    if (parent == nullptr || path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::wstring wide = windows::widen(path);
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(parent, wide.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // The key's values and keys first, then the key itself.
    status = RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    return status != ERROR_SUCCESS ? status
                                   : RegDeleteKeyExW(parent, wide.c_str(), KEY_WOW64_64KEY, 0);
}

std::error_code registryError(long status) {
    return {static_cast<int>(status), std::system_category()};
}

} // namespace platform
