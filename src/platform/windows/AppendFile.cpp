#include "platform/AppendFile.h"

#include "platform/InputFile.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

namespace platform {

AppendFile::~AppendFile() {
    close();
}

std::error_code AppendFile::open(const std::string& path, std::uint32_t /*mode*/) {
    // Who may read the new file is decided by the ACL it inherits.
    close();
    // A device name (CON, a serial port) is never opened; a link is opened as itself and refused.
    if (windows::namesDevice(path)) {
        return make_error_code(FileError::NotRegularFile);
    }
    const std::wstring wide = windows::win32Path(path);
    if (wide.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    windows::OwnedHandle handle(
        CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) {
        return windows::lastError();
    }
    windows::HandleFacts facts;
    if (const auto ec = windows::factsOfHandle(handle.get(), facts)) {
        return ec;
    }
    if (!windows::isDiskFile(handle.get(), facts)) {
        return make_error_code(FileError::NotRegularFile);
    }
    m_fd = handle.release();
    return {};
}

std::error_code AppendFile::size(std::uint64_t& bytes) const {
    LARGE_INTEGER length{};
    if (m_fd == kNoHandle) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (!GetFileSizeEx(m_fd, &length)) {
        return windows::lastError();
    }
    bytes = static_cast<std::uint64_t>(length.QuadPart);
    return {};
}

std::error_code AppendFile::write(std::string_view data) {
    if (m_fd == kNoHandle) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    while (!data.empty()) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1 << 30));
        if (!WriteFile(m_fd, data.data(), piece, &written, nullptr)) {
            return windows::lastError();
        }
        if (written == 0) {
            // A regular file that takes no byte of a write is full.
            return std::make_error_code(std::errc::no_space_on_device);
        }
        data.remove_prefix(written);
    }
    return {};
}

void AppendFile::close() {
    if (m_fd != kNoHandle) {
        CloseHandle(m_fd);
        m_fd = kNoHandle;
    }
}

} // namespace platform
