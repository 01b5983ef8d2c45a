#include "platform/InputFile.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

#include <algorithm>
#include <utility>

namespace platform {

using windows::HandleFacts;
using windows::OwnedHandle;

InputFile::~InputFile() {
    close();
}

InputFile::InputFile(InputFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, kNoHandle)), m_size(other.m_size), m_stamp(other.m_stamp) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, kNoHandle);
        m_size = other.m_size;
        m_stamp = other.m_stamp;
    }
    return *this;
}

std::error_code InputFile::open(const std::string& path, Follow follow) {
    close();
    OwnedHandle handle;
    HandleFacts facts;
    if (const auto ec =
            windows::openDiskFile(path, follow == Follow::Symlinks, GENERIC_READ, handle, facts)) {
        return ec;
    }
    m_fd = handle.release();
    m_size = facts.stamp.size;
    m_stamp = facts.stamp;
    detail::noteInputOpened(path);
    return {};
}

std::error_code InputFile::openAt(NativeHandle folder, const std::string& name) {
    close();
    OwnedHandle handle;
    HandleFacts facts;
    if (const auto ec = windows::openDiskFileAt(folder, name, FILE_READ_DATA, handle, facts)) {
        return ec;
    }
    m_fd = handle.release();
    m_size = facts.stamp.size;
    m_stamp = facts.stamp;
    detail::noteInputOpened(name);
    return {};
}

std::error_code InputFile::adopt(NativeHandle file) {
    close();
    OwnedHandle handle(file);
    HandleFacts facts;
    if (const auto ec = windows::factsOfHandle(file, facts)) {
        return ec;
    }
    if (!windows::isDiskFile(file, facts)) {
        return FileError::NotRegularFile;
    }
    m_fd = handle.release();
    m_size = facts.stamp.size;
    m_stamp = facts.stamp;
    return {};
}

std::size_t InputFile::read(char* buffer, std::size_t count, std::error_code& ec) {
    ec.clear();
    // One ReadFile moves at most a DWORD of bytes; pieces of 1 GiB keep well below that.
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    DWORD got = 0;
    if (!ReadFile(m_fd, buffer, static_cast<DWORD>(std::min(count, kPiece)), &got, nullptr)) {
        if (GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        ec = windows::lastError();
        return 0;
    }
    return got;
}

std::size_t InputFile::readAt(std::uint64_t offset, char* buffer, std::size_t count,
                              std::error_code& ec) const {
    ec.clear();
    // A read with an offset of its own on a handle opened for synchronous reads; it moves the
    // handle's position, which no reader of this class relies on between calls of readAt.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(count, std::size_t{1} << 30));
    if (!ReadFile(m_fd, buffer, wanted, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        ec = windows::lastError();
        return 0;
    }
    return got;
}

// Windows cannot tell whether a read would wait for the disk, so a cached read is a plain read,
// the start of a file always counts as in memory, and no read-ahead is asked for (the cache
// manager reads ahead on sequential reads by itself).
std::size_t InputFile::readCached(char* buffer, std::size_t count, std::error_code& ec) {
    return read(buffer, count, ec);
}

bool InputFile::startCached() const {
    return true;
}

void InputFile::prefetch() const {}

void InputFile::close() {
    if (m_fd != kNoHandle) {
        CloseHandle(m_fd);
        m_fd = kNoHandle;
    }
    m_size = 0;
    m_stamp = {};
}

std::error_code statFile(const std::string& path, FileStamp& stamp) {
    const std::wstring wide = windows::win32Path(path);
    if (wide.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    OwnedHandle handle(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.valid()) {
        return windows::lastError();
    }
    HandleFacts facts;
    if (const auto ec = windows::factsOfHandle(handle.get(), facts)) {
        return ec;
    }
    stamp = facts.stamp;
    return {};
}

std::int64_t wallClockNs() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return windows::fileTimeToNs(static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime));
}

} // namespace platform
