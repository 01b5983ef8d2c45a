#include "platform/windows/WinFile.h"

#include "platform/windows/WideText.h"

#include <vector>
#include <winternl.h>

namespace platform::windows {

namespace {

constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr ULONG kSynchronousIo = 0x00000020;
constexpr ULONG kCaseInsensitive = 0x00000040;

} // namespace

std::error_code lastError() {
    return {static_cast<int>(GetLastError()), std::system_category()};
}

std::error_code ntError(long status) {
    return {static_cast<int>(RtlNtStatusToDosError(static_cast<NTSTATUS>(status))),
            std::system_category()};
}

bool isSingleName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\:\0", 4)) == std::string::npos;
}

std::error_code openRelative(HANDLE folder, const std::string& name, const RelativeOpen& how,
                             OwnedHandle& out) {
    out.reset();
    if (!name.empty() && !isSingleName(name)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    std::wstring wide = widen(name);
    if (wide.size() * sizeof(wchar_t) > 0xFFFE) {
        return std::make_error_code(std::errc::filename_too_long);
    }
    UNICODE_STRING objectName;
    objectName.Buffer = wide.data();
    objectName.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, kCaseInsensitive, folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    const NTSTATUS status = NtCreateFile(
        &handle, how.access | SYNCHRONIZE, &attributes, &io, nullptr, how.attributes, how.share,
        how.disposition,
        how.options | (how.reparsePointItself ? kOpenReparsePoint : 0) | kSynchronousIo, nullptr,
        0);
    if (!NT_SUCCESS(status)) {
        return ntError(status);
    }
    out.reset(handle);
    return {};
}

std::error_code renameRelative(HANDLE file, HANDLE folder, const std::string& name, bool replace) {
    if (!isSingleName(name)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    const std::wstring wide = widen(name);
    // FILE_RENAME_INFO has the layout of the native FILE_RENAME_INFORMATION.
    std::vector<std::uint64_t> buffer(
        (sizeof(FILE_RENAME_INFO) + wide.size() * sizeof(wchar_t)) / sizeof(std::uint64_t) + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = folder;
    info->FileNameLength = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
    std::copy(wide.begin(), wide.end(), info->FileName);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        NtSetInformationFile(file, &io, info, static_cast<ULONG>(buffer.size() * sizeof buffer[0]),
                             FileRenameInformation);
    return NT_SUCCESS(status) ? std::error_code() : ntError(status);
}

std::int64_t fileTimeToNs(std::int64_t ticks) {
    constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;
    return (ticks - kTicksFrom1601To1970) * 100;
}

std::error_code factsOfHandle(HANDLE handle, HandleFacts& facts) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return lastError();
    }
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
        return lastError();
    }
    facts = {};
    facts.attributes = info.dwFileAttributes;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
            return lastError();
        }
        facts.reparseTag = tag.ReparseTag;
    }
    facts.id = {info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    facts.links = info.nNumberOfLinks;
    facts.stamp.device = facts.id.device;
    facts.stamp.inode = facts.id.inode;
    facts.stamp.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts.stamp.modifiedNs = fileTimeToNs(basic.LastWriteTime.QuadPart);
    facts.stamp.changedNs = fileTimeToNs(basic.ChangeTime.QuadPart);
    return {};
}

bool isLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           IsReparseTagNameSurrogate(reparseTag);
}

bool isDiskFile(HANDLE handle, const HandleFacts& facts) {
    constexpr DWORD kNotFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    return GetFileType(handle) == FILE_TYPE_DISK && (facts.attributes & kNotFile) == 0 &&
           !isLink(facts.attributes, facts.reparseTag);
}

std::error_code openDiskFile(const std::string& path, bool followLinks, ACCESS_MASK access,
                             OwnedHandle& out, HandleFacts& facts) {
    out.reset();
    // Opening a device (a serial port, the console) can block or have side effects.
    if (namesDevice(path)) {
        return FileError::NotRegularFile;
    }
    const std::wstring wide = win32Path(path);
    if (wide.empty()) {
        return path.empty() ? std::make_error_code(std::errc::no_such_file_or_directory)
                            : lastError();
    }
    const DWORD flags =
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    OwnedHandle handle(CreateFileW(wide.c_str(), access,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, flags, nullptr));
    if (!handle.valid()) {
        return lastError();
    }
    if (const auto ec = factsOfHandle(handle.get(), facts)) {
        return ec;
    }
    if ((facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        !isLink(facts.attributes, facts.reparseTag)) {
        return std::make_error_code(std::errc::is_a_directory);
    }
    if (!isDiskFile(handle.get(), facts)) {
        return FileError::NotRegularFile;
    }
    out = std::move(handle);
    return {};
}

std::error_code openDiskFileAt(HANDLE folder, const std::string& name, ACCESS_MASK access,
                               OwnedHandle& out, HandleFacts& facts) {
    out.reset();
    RelativeOpen how;
    how.access = access | FILE_READ_ATTRIBUTES;
    how.options = kOpenForBackup;
    OwnedHandle handle;
    if (const auto ec = openRelative(folder, name, how, handle)) {
        return ec;
    }
    if (const auto ec = factsOfHandle(handle.get(), facts)) {
        return ec;
    }
    if (!isDiskFile(handle.get(), facts)) {
        return FileError::NotRegularFile;
    }
    if ((facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // The data of a deduplicated or cloud file is reached through its filter; the name may
        // have been swapped for a link meanwhile, so the file opened must be the one looked at.
        how.reparsePointItself = false;
        OwnedHandle data;
        if (const auto ec = openRelative(folder, name, how, data)) {
            return ec;
        }
        HandleFacts dataFacts;
        if (const auto ec = factsOfHandle(data.get(), dataFacts)) {
            return ec;
        }
        if (dataFacts.id != facts.id || !isDiskFile(data.get(), dataFacts)) {
            return FileError::Changed;
        }
        handle = std::move(data);
        facts = dataFacts;
    }
    out = std::move(handle);
    return {};
}

std::error_code finalPath(HANDLE handle, std::wstring& path) {
    path.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
        if (length == 0) {
            path.clear();
            return lastError();
        }
        if (length < path.size()) {
            path.resize(length);
            return {};
        }
        path.resize(length);
    }
}

std::wstring withoutLongPrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        return L"\\\\" + path.substr(8);
    }
    if (path.compare(0, 4, L"\\\\?\\") == 0) {
        return path.substr(4);
    }
    return path;
}

std::error_code openFolderPath(const std::wstring& path, OwnedHandle& out, FileId& id,
                               ACCESS_MASK access) {
    out.reset();
    OwnedHandle handle(
        CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) {
        return lastError();
    }
    HandleFacts facts;
    if (const auto ec = factsOfHandle(handle.get(), facts)) {
        return ec;
    }
    if (isLink(facts.attributes, facts.reparseTag)) {
        return linkRefused();
    }
    if ((facts.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::make_error_code(std::errc::not_a_directory);
    }
    id = facts.id;
    out = std::move(handle);
    return {};
}

std::error_code linkRefused() {
    return std::make_error_code(std::errc::too_many_symbolic_link_levels);
}

std::error_code deleteOpenFile(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
        return lastError();
    }
    return {};
}

std::error_code readFolderRecords(HANDLE folder,
                                  const std::function<void(const FILE_ID_BOTH_DIR_INFO&)>& visit) {
    RelativeOpen how;
    how.access = FILE_LIST_DIRECTORY | SYNCHRONIZE;
    how.options = kDirectoryFile | kOpenForBackup;
    OwnedHandle own;
    if (const auto ec = openRelative(folder, "", how, own)) {
        return ec;
    }
    // The records hold 64-bit fields, so the buffer is 8-byte aligned.
    std::vector<std::uint64_t> buffer(64 * 1024 / sizeof(std::uint64_t));
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(own.get(), kind, buffer.data(),
                                          static_cast<DWORD>(buffer.size() * sizeof buffer[0]))) {
            const std::error_code error = lastError();
            if (error.value() == ERROR_NO_MORE_FILES) {
                return {};
            }
            return error;
        }
        kind = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* item = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            const std::wstring_view wideName(item->FileName,
                                             item->FileNameLength / sizeof(wchar_t));
            if (wideName != L"." && wideName != L"..") {
                visit(*item);
            }
            if (item->NextEntryOffset == 0) {
                break;
            }
            bytes += item->NextEntryOffset;
        }
    }
}

} // namespace platform::windows
