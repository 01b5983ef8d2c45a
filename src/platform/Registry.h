#pragma once

#include <cstdint>
#include <string>
#include <system_error>

/// The system's registry (Windows). Linux has none: the tools keep their values in a file store
/// of their own there (tools/modReg). Key paths, value names and texts are UTF-8; every key is
/// opened in the 64-bit view, which a 64-bit program sees anyway. Results are the system's own
/// status numbers, 0 on success (2 missing, 5 access denied, ...).
namespace platform {

/// The value types a registry value may have that the program reads and writes.
inline constexpr std::uint32_t kRegistryText = 1;   ///< REG_SZ
inline constexpr std::uint32_t kRegistryNumber = 4; ///< REG_DWORD, little-endian

/// An open registry key, closed when it goes.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    /// Opens the key `path` below the predefined key `root` (0x80000000 HKEY_CLASSES_ROOT to
    /// 0x80000005 HKEY_CURRENT_CONFIG); with `create` the key and its parents are made first.
    /// The key is opened for reading and writing where the caller may write it, else for reading
    /// only, so that reading needs no more rights than the key asks of readers; a write then
    /// fails with 5 (access denied).
    long open(std::uint32_t root, const std::string& path, bool create);
    bool isOpen() const { return m_key != nullptr; }
    void close();

    /// Reads the value `name`: its type, and its data: for a text type (REG_SZ, REG_EXPAND_SZ)
    /// the text as UTF-8 without the terminating NUL (only a final NUL is dropped), for any
    /// other type the bytes as stored.
    long query(const std::string& name, std::uint32_t& type, std::string& data) const;
    /// Writes the value `name`: a text (kRegistryText) given as UTF-8 is stored as UTF-16 with
    /// its terminating NUL; other types are stored as the bytes given.
    long set(const std::string& name, std::uint32_t type, const std::string& data) const;
    /// Removes the value `name`.
    long removeValue(const std::string& name) const;

private:
    void* m_key = nullptr;
};

/// Removes the key `path` below `root` with all its values and keys.
long removeRegistryKey(std::uint32_t root, const std::string& path);

/// A status as an error code: it compares equal to the std::errc it stands for (5 to
/// permission_denied, 2 and 3 to no_such_file_or_directory, ...).
std::error_code registryError(long status);

} // namespace platform
