#include "platform/AtomicFile.h"

#include "platform/AtomicReplaceParts.h"
#include "platform/windows/WinFile.h"

#include <array>
#include <bcrypt.h>
#include <cerrno>

namespace platform {

using windows::HandleFacts;
using windows::OwnedHandle;

namespace {

/// Writes through the installed call (which reports failures in errno) or WriteFile.
std::error_code writeSome(HANDLE handle, const void* data, std::size_t size, std::size_t& written) {
    const WriteCall call = detail::installedWriteCall();
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 30));
    if (call) {
        const ssize_t result = call(handle, data, piece);
        if (result < 0) {
            return {errno, std::generic_category()};
        }
        written = static_cast<std::size_t>(result);
        return {};
    }
    DWORD done = 0;
    if (!WriteFile(handle, data, piece, &done, nullptr)) {
        return windows::lastError();
    }
    written = done;
    return {};
}

std::string temporaryNameFor(const std::string& name) {
    std::array<unsigned char, 12> random{};
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, random.data(), random.size(),
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        random.fill(0);
    }
    return detail::temporaryNameFor(name, random);
}

} // namespace

AtomicReplacement::~AtomicReplacement() {
    abandon();
}

std::error_code AtomicReplacement::begin(const FolderHandle& folder, const std::string& name,
                                         mode_t mode) {
    abandon();
    if (!folder.isOpen() || !windows::isSingleName(name)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    m_folder = folder.fd();
    m_name = name;
    m_mode = mode & 07777;
    // The replacement keeps the read-only state of the file it replaces (the only part of a
    // mode Windows has).
    windows::RelativeOpen look;
    look.options = windows::kOpenForBackup;
    OwnedHandle existing;
    if (!windows::openRelative(m_folder, name, look, existing)) {
        HandleFacts facts;
        if (windows::factsOfHandle(existing.get(), facts) ||
            !windows::isDiskFile(existing.get(), facts)) {
            return std::make_error_code(std::errc::invalid_argument);
        }
        m_mode = (facts.attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0644;
    }
    windows::RelativeOpen create;
    create.access = GENERIC_WRITE | DELETE;
    create.share = FILE_SHARE_READ | FILE_SHARE_DELETE;
    create.disposition = windows::kFileCreate;
    create.options = windows::kNonDirectoryFile;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string candidate = temporaryNameFor(name);
        OwnedHandle file;
        const std::error_code ec = windows::openRelative(m_folder, candidate, create, file);
        if (!ec) {
            m_fd = file.release();
            m_temporary = candidate;
            return {};
        }
        if (ec != std::errc::file_exists) {
            return ec;
        }
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code AtomicReplacement::write(const void* data, std::size_t size) {
    if (m_fd == kNoHandle) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        std::size_t written = 0;
        if (const std::error_code error = writeSome(m_fd, bytes, size, written)) {
            abandon();
            return error;
        }
        if (written == 0) {
            abandon();
            return std::make_error_code(std::errc::no_space_on_device);
        }
        bytes += written;
        size -= written;
    }
    return {};
}

std::error_code AtomicReplacement::commit(const CommitCheck& check) {
    if (m_fd == kNoHandle) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (!FlushFileBuffers(m_fd)) {
        const std::error_code error = windows::lastError();
        abandon();
        return error;
    }
    if (check) {
        if (const std::error_code error = check()) {
            abandon();
            return error;
        }
    }
    // Renamed through its own handle, relative to the folder held, over the target: the same
    // step as MoveFileExW with MOVEFILE_REPLACE_EXISTING, without going through a path.
    if (const std::error_code error = windows::renameRelative(m_fd, m_folder, m_name, true)) {
        abandon();
        return error;
    }
    m_temporary.clear();
    if ((m_mode & 0200) == 0) {
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = FILE_ATTRIBUTE_READONLY;
        SetFileInformationByHandle(m_fd, FileBasicInfo, &basic, sizeof basic);
    }
    CloseHandle(m_fd);
    m_fd = kNoHandle;
    return {};
}

void removeStaleTemporaries(const FolderHandle&, const std::string&) {}

void AtomicReplacement::abandon() {
    if (m_fd != kNoHandle) {
        // Still the temporary file: it goes when its handle closes.
        if (!m_temporary.empty()) {
            windows::deleteOpenFile(m_fd);
        }
        CloseHandle(m_fd);
        m_fd = kNoHandle;
    }
    m_temporary.clear();
}

} // namespace platform
