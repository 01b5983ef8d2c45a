#include "platform/NewFile.h"

#include "platform/windows/WinFile.h"

namespace platform {

using windows::HandleFacts;
using windows::OwnedHandle;

NewFile::~NewFile() {
    abandon();
}

std::error_code NewFile::removeStale(const FolderHandle& folder, const std::string& temporary) {
    // A writer opens its file for itself alone, so an open that shares nothing succeeds only
    // once no writer holds it.
    windows::RelativeOpen how;
    how.access = DELETE | FILE_READ_ATTRIBUTES;
    how.share = 0;
    how.options = windows::kNonDirectoryFile;
    OwnedHandle handle;
    if (const auto ec = windows::openRelative(folder.fd(), temporary, how, handle)) {
        if (ec == std::errc::no_such_file_or_directory) {
            return {};
        }
        return ec.value() == ERROR_SHARING_VIOLATION && ec.category() == std::system_category()
                   ? std::make_error_code(std::errc::device_or_resource_busy)
                   : ec;
    }
    HandleFacts facts;
    if (const auto ec = windows::factsOfHandle(handle.get(), facts)) {
        return ec;
    }
    if (!windows::isDiskFile(handle.get(), facts) || facts.links != 1) {
        return std::make_error_code(std::errc::file_exists);
    }
    return windows::deleteOpenFile(handle.get());
}

std::error_code NewFile::create(const FolderHandle& folder, const std::string& temporary) {
    abandon();
    windows::RelativeOpen how;
    how.access = GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    how.share = 0;
    how.disposition = windows::kFileCreate;
    how.options = windows::kNonDirectoryFile;
    for (int attempt = 0; attempt < 2; ++attempt) {
        OwnedHandle handle;
        const std::error_code ec = windows::openRelative(folder.fd(), temporary, how, handle);
        if (!ec) {
            HandleFacts facts;
            if (const auto failed = windows::factsOfHandle(handle.get(), facts)) {
                windows::deleteOpenFile(handle.get());
                return failed;
            }
            m_folder = &folder;
            m_fd = handle.release();
            m_temporary = temporary;
            m_id = facts.id;
            return {};
        }
        if (ec != std::errc::file_exists) {
            return ec;
        }
        if (const auto stale = removeStale(folder, temporary)) {
            return stale;
        }
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code NewFile::write(const void* data, std::size_t size) {
    if (m_fd == kNoHandle) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    return windows::writeAll(m_fd, static_cast<const char*>(data), size);
}

std::error_code NewFile::finish(std::uint32_t mode, const std::optional<FileOwner>& owner) {
    // Windows keeps no POSIX owner; a mode without owner write is the read-only attribute.
    static_cast<void>(owner);
    if (m_fd == kNoHandle) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (!FlushFileBuffers(m_fd)) {
        return windows::lastError();
    }
    if ((mode & 0200) == 0) {
        return windows::setAttributes(m_fd, FILE_ATTRIBUTE_READONLY);
    }
    return {};
}

std::error_code NewFile::place(const std::string& target) {
    if (m_fd == kNoHandle) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    // The rename goes through the handle, so it names this file and no other.
    if (const auto ec = windows::renameRelative(m_fd, m_folder->fd(), target, false)) {
        return ec;
    }
    CloseHandle(m_fd);
    m_fd = kNoHandle;
    m_temporary.clear();
    return {};
}

void NewFile::abandon() {
    if (m_fd == kNoHandle) {
        return;
    }
    windows::deleteOpenFile(m_fd);
    CloseHandle(m_fd);
    m_fd = kNoHandle;
    m_temporary.clear();
}

} // namespace platform
