#include "platform/FolderHandle.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

#include <algorithm>
#include <utility>

namespace platform {

using windows::HandleFacts;
using windows::OwnedHandle;

namespace {

constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

FolderEntry::Kind kindOf(DWORD attributes, DWORD reparseTag) {
    if (windows::isLink(attributes, reparseTag) || (attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        return FolderEntry::Kind::Other;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FolderEntry::Kind::Folder
                                                        : FolderEntry::Kind::RegularFile;
}

} // namespace

FolderHandle::~FolderHandle() {
    close();
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : m_fd(std::exchange(other.m_fd, kNoHandle)), m_id(other.m_id),
      m_changeTime(other.m_changeTime) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, kNoHandle);
        m_id = other.m_id;
        m_changeTime = other.m_changeTime;
    }
    return *this;
}

void FolderHandle::close() {
    if (m_fd != kNoHandle) {
        CloseHandle(m_fd);
        m_fd = kNoHandle;
    }
}

std::error_code FolderHandle::adopt(NativeHandle fd) {
    close();
    OwnedHandle handle(fd);
    HandleFacts facts;
    if (const auto ec = windows::factsOfHandle(handle.get(), facts)) {
        return ec;
    }
    if (windows::isLink(facts.attributes, facts.reparseTag)) {
        return windows::linkRefused();
    }
    if ((facts.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::make_error_code(std::errc::not_a_directory);
    }
    m_fd = handle.release();
    m_id = facts.id;
    return {};
}

bool FolderHandle::changeTimeIsTrusted() const {
    return false; // no change time is taken here
}

std::optional<VolumeFacts> FolderHandle::volume() const {
    return volumeOf(m_fd);
}

std::optional<VolumeFacts> volumeOf(NativeHandle) {
    return std::nullopt; // no change time is taken here, so no volume is trusted
}

std::error_code FolderHandle::openPath(const std::string& path) {
    close();
    const std::wstring wide = windows::win32Path(path);
    if (wide.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    OwnedHandle handle;
    FileId id;
    if (const auto ec = windows::openFolderPath(wide, handle, id)) {
        return ec;
    }
    m_fd = handle.release();
    m_id = id;
    return {};
}

std::error_code FolderHandle::openChild(const FolderHandle& parent, const std::string& name) {
    close();
    if (!windows::isSingleName(name)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    windows::RelativeOpen how;
    how.access = kFolderAccess;
    how.options = windows::kDirectoryFile | windows::kOpenForBackup;
    OwnedHandle handle;
    if (const auto ec = windows::openRelative(parent.m_fd, name, how, handle)) {
        return ec;
    }
    return adopt(handle.release());
}

std::error_code FolderHandle::openParentOf(const FolderHandle& child) {
    close();
    // NT opens no ".." relative to a handle; the parent is found from the folder's own path.
    std::wstring path;
    if (const auto ec = windows::finalPath(child.m_fd, path)) {
        return ec;
    }
    const std::size_t slash = path.find_last_of(L'\\');
    // "\\?\C:\" is a drive's root: it has no parent.
    if (slash == std::wstring::npos || slash + 1 == path.size()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    std::wstring parent = path.substr(0, slash);
    if (parent.size() == 6 && parent[5] == L':') {
        parent += L'\\';
    }
    // A "\\?\" path is opened as it is.
    return openPath(windows::narrow(parent));
}

std::error_code FolderHandle::list(bool withSizes, std::vector<FolderEntry>& entries) const {
    entries.clear();
    const std::error_code error =
        windows::readFolderRecords(m_fd, [&entries, withSizes](const FILE_ID_BOTH_DIR_INFO& item) {
            FolderEntry entry;
            entry.name = windows::narrow(
                std::wstring_view(item.FileName, item.FileNameLength / sizeof(wchar_t)));
            entry.kind = kindOf(item.FileAttributes, item.EaSize);
            entry.id = static_cast<std::uint64_t>(item.FileId.QuadPart);
            if (withSizes && entry.kind == FolderEntry::Kind::RegularFile) {
                entry.size = static_cast<std::uint64_t>(item.EndOfFile.QuadPart);
            }
            entries.push_back(std::move(entry));
        });
    if (error) {
        entries.clear();
        return error;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return {};
}

std::error_code FolderHandle::statFile(const std::string& name, FileStamp& stamp) const {
    windows::RelativeOpen how;
    how.options = windows::kOpenForBackup;
    OwnedHandle handle;
    if (const auto ec = windows::openRelative(m_fd, name, how, handle)) {
        return ec;
    }
    HandleFacts facts;
    if (const auto ec = windows::factsOfHandle(handle.get(), facts)) {
        return ec;
    }
    if (!windows::isDiskFile(handle.get(), facts)) {
        return FileError::NotRegularFile;
    }
    stamp = facts.stamp;
    return {};
}

} // namespace platform
