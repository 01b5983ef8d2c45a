#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

/// Encrypts and decrypts files in place, tied to the user. On Linux with the user's own key:
/// XChaCha20-Poly1305 in chunks of 64 KiB behind an authenticated header ("KESTOENC", version,
/// key id) and ending in a final chunk. The new content replaces the file through a temporary file
/// in the same folder, so every failure leaves the file exactly as it was, and a file that changes
/// meanwhile is left alone. On Windows the file system encrypts the file for the user's account
/// (EncryptFileW, DecryptFileW); the system keeps the key, and the key folder is not used.
/// Either way only a regular file is encrypted: never a link, a folder or a device, nor one of
/// the program's own files.
namespace platform {

enum class CryptError {
    NotRegularFile = 1, ///< a link, folder, FIFO, device or socket
    HardLinked,         ///< renaming over one name would leave the plain text under another
    KeyFile,            ///< the key file itself
    KeyUnusable,        ///< the key file is unreadable, of the wrong size or someone else's
    WrongKey,           ///< encrypted with another key
    Damaged,            ///< truncated, tampered with or not a complete encrypted file
    Changed,            ///< the file changed while it was being rewritten
    EmptyPath,
    KeyExposed,       ///< the key file can be read or written by other users
    KeyFolderExposed, ///< the key folder is someone else's or can be written by other users
    NoKeyFolder,      ///< the account has no home folder to keep the key in
    ForeignHeader,    ///< a file to encrypt starts with the header of another key
    Interrupted,      ///< stopped on request before the file was replaced
    ProgramFile,      ///< a file of the program's own folder (Windows)
};
std::error_code make_error_code(CryptError e);

/// The category of system errors met while making or opening the key folder or writing a new key
/// there. They compare equal to the same `std::errc`.
const std::error_category& keyFolderCategory();

/// Bytes of plain text per chunk.
inline constexpr std::size_t kCryptChunk = 64 * 1024;
/// Name of the key file in the key folder.
inline constexpr char kKeyFileName[] = "file-encryption.key";

/// The key folder of the effective user: "$XDG_CONFIG_HOME/kesto" when that folder is the
/// user's own, else ".config/kesto" in the home folder named by the user's password entry (never
/// $HOME, so a program run through sudo never puts root's key in a user's folder). Empty on
/// Windows, where the system keeps the key.
std::string defaultKeyFolder();

/// Told how many bytes of the file were read so far, and how many there are.
using CryptProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;
/// Asked between chunks and just before the file is replaced; true stops the work with
/// CryptError::Interrupted and leaves the file as it was.
using CryptStop = std::function<bool()>;

/// Encrypts the file; a file already encrypted with this key succeeds unchanged, and one that
/// starts with the header of another key is refused. The key is made (once, mode 0600, folder
/// 0700) when the folder has none; a key or key folder that others can read or change is refused.
/// A temporary file an earlier run left beside the file when it was killed is removed first.
std::error_code encryptFile(const std::string& path, const std::string& keyFolder,
                            const CryptProgress& progress = {}, const CryptStop& stop = {});

/// Decrypts the file; a file that is not encrypted succeeds unchanged.
std::error_code decryptFile(const std::string& path, const std::string& keyFolder,
                            const CryptProgress& progress = {}, const CryptStop& stop = {});

/// The moments a test may act at while a file is rewritten.
enum class CryptStage {
    ChunkWritten, ///< after each chunk is written to the temporary file
    Flushed,      ///< after the temporary file is on the disk, before it replaces the file
};
/// Installs a call made at each stage of every rewrite (for tests); an empty call removes it.
/// Returns the call installed before.
using CryptHook = std::function<void(CryptStage)>;
CryptHook setCryptHook(CryptHook hook);

/// The call that encrypts (or decrypts) a file in place where the file system does it (Windows:
/// EncryptFileW or DecryptFileW on the file's wide path); the system's error number, 0 on success.
/// Installs a replacement (for tests) and returns the call installed before; an empty call puts
/// the system's back.
using SystemCrypt = std::function<unsigned long(const std::wstring& path, bool encrypt)>;
SystemCrypt setSystemCrypt(SystemCrypt call);

/// Whether the bytes start like an encrypted file.
bool looksEncrypted(const void* data, std::size_t size);

} // namespace platform

template <> struct std::is_error_code_enum<platform::CryptError> : std::true_type {};
