#include "platform/FileCrypt.h"

#include "platform/FileFacts.h"
#include "platform/FolderHandle.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

#include <mutex>
#include <utility>
#include <windows.h>

namespace platform {

namespace {

unsigned long callSystem(const std::wstring& path, bool encrypt) {
    const BOOL done = encrypt ? EncryptFileW(path.c_str()) : DecryptFileW(path.c_str(), 0);
    if (!done) {
        return GetLastError();
    }
    // A file system that cannot encrypt may still answer yes (Wine's does); the file's own
    // attribute tells whether it happened, so that nothing is called encrypted that is not.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return GetLastError();
    }
    const bool encrypted = (attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;
    return encrypted == encrypt ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED;
}

std::mutex& callMutex() {
    static std::mutex mutex;
    return mutex;
}

SystemCrypt& callSlot() {
    static SystemCrypt call;
    return call;
}

/// The path as the encryption calls take it: absolute, and in the "\\?\" form only when it is
/// too long for the plain one.
std::wstring callPath(const std::string& path) {
    const std::wstring longForm = windows::win32Path(path);
    const std::wstring plain = windows::withoutLongPrefix(longForm);
    return plain.size() < MAX_PATH ? plain : longForm;
}

/// Refuses anything but a regular file that lies outside the program's own folder. The file is
/// looked at through its folder's handle, never through a link.
std::error_code checkFile(const std::string& path) {
    if (path.empty()) {
        return make_error_code(CryptError::EmptyPath);
    }
    std::error_code error;
    switch (pathKind(path, error)) {
    case PathKind::RegularFile:
        break;
    case PathKind::Missing:
        return error ? error : std::make_error_code(std::errc::no_such_file_or_directory);
    default:
        return make_error_code(CryptError::NotRegularFile);
    }
    const std::string absolute = absolutePath(path);
    const std::size_t separator = lastPathSeparator(absolute);
    if (separator == std::string::npos) {
        return make_error_code(CryptError::NotRegularFile);
    }
    const std::size_t root = pathRootLength(absolute);
    const std::string parent = absolute.substr(0, separator < root ? root : separator);
    FolderHandle folder;
    if (const std::error_code opened = folder.openPath(parent)) {
        return opened;
    }
    FileFacts facts;
    if (const std::error_code looked = factsOf(folder, absolute.substr(separator + 1), facts)) {
        return looked;
    }
    // The program and its signature database: encrypted, they would serve this account alone.
    FolderHandle own;
    if (!own.openPath(programFolder()) && own.id() == folder.id()) {
        return make_error_code(CryptError::ProgramFile);
    }
    return {};
}

std::error_code rewrite(const std::string& path, bool encrypt, const CryptStop& stop) {
    if (const std::error_code refused = checkFile(path)) {
        return refused;
    }
    if (stop && stop()) {
        return make_error_code(CryptError::Interrupted);
    }
    SystemCrypt call;
    {
        const std::lock_guard<std::mutex> lock(callMutex());
        call = callSlot();
    }
    const std::wstring wide = callPath(path);
    const unsigned long status = call ? call(wide, encrypt) : callSystem(wide, encrypt);
    return status == ERROR_SUCCESS
               ? std::error_code()
               : std::error_code(static_cast<int>(status), std::system_category());
}

} // namespace

SystemCrypt setSystemCrypt(SystemCrypt call) {
    const std::lock_guard<std::mutex> lock(callMutex());
    return std::exchange(callSlot(), std::move(call));
}

std::string defaultKeyFolder() {
    return {};
}

std::error_code encryptFile(const std::string& path, const std::string& /*keyFolder*/,
                            const CryptProgress& /*progress*/, const CryptStop& stop) {
    return rewrite(path, true, stop);
}

std::error_code decryptFile(const std::string& path, const std::string& /*keyFolder*/,
                            const CryptProgress& /*progress*/, const CryptStop& stop) {
    return rewrite(path, false, stop);
}

} // namespace platform
