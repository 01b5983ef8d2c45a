// The file browser's folders on Windows: one listing of the folder gives every fact a row shows
// (kind, size, time, attributes), so no file is opened. Drives are asked quietly: an empty drive
// fails at once instead of asking the user to insert a disk.
#include "platform/FolderFiles.h"

#include "platform/windows/QuietDriveErrors.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

#include <algorithm>

namespace platform {

namespace {

using windows::OwnedHandle;

/// Whole seconds since 1970 of a FILETIME count (100 ns ticks since 1601), rounded down.
std::time_t unixSeconds(std::int64_t ticks) {
    constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;
    constexpr std::int64_t kTicksPerSecond = 10'000'000;
    const std::int64_t since1970 = ticks - kTicksFrom1601To1970;
    std::int64_t seconds = since1970 / kTicksPerSecond;
    if (since1970 % kTicksPerSecond < 0) {
        --seconds;
    }
    return static_cast<std::time_t>(seconds);
}

/// Opens the folder at `path` for listing, following links as a folder named by the user is:
/// a drive root, or a junction the browser was started in.
std::error_code openFolder(const std::string& path, OwnedHandle& out) {
    const std::wstring wide = windows::win32Path(path);
    if (wide.empty() || windows::namesDevice(path)) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    OwnedHandle handle(CreateFileW(wide.c_str(),
                                   FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.valid()) {
        return windows::lastError();
    }
    windows::HandleFacts facts;
    if (const auto ec = windows::factsOfHandle(handle.get(), facts)) {
        return ec;
    }
    if ((facts.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::make_error_code(std::errc::not_a_directory);
    }
    out = std::move(handle);
    return {};
}

/// Lists the folder at `path`, handing each record to `visit`.
std::error_code readFolder(const std::string& path,
                           const std::function<void(const FILE_ID_BOTH_DIR_INFO&)>& visit) {
    const windows::QuietDriveErrors quiet;
    OwnedHandle folder;
    if (const auto ec = openFolder(path, folder)) {
        return ec;
    }
    return windows::readFolderRecords(folder.get(), visit);
}

std::string nameOf(const FILE_ID_BOTH_DIR_INFO& item) {
    return windows::narrow(std::wstring_view(item.FileName, item.FileNameLength / sizeof(wchar_t)));
}

} // namespace

std::error_code listBrowseFiles(const std::string& folder, std::vector<BrowseEntry>& files) {
    files.clear();
    const std::error_code error = readFolder(folder, [&files](const FILE_ID_BOTH_DIR_INFO& item) {
        const DWORD attributes = item.FileAttributes;
        // For a reparse point the listing gives the reparse tag in place of the EA size.
        const bool link = windows::isLink(attributes, item.EaSize);
        if (!link && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
            return;
        }
        BrowseEntry file;
        file.name = nameOf(item);
        // A link is listed as itself, with its own size and time, whatever it leads to.
        file.link = link;
        file.size = static_cast<std::uint64_t>(item.EndOfFile.QuadPart);
        file.modified = unixSeconds(item.LastWriteTime.QuadPart);
        file.hasTime = true;
        file.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        file.system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
        files.push_back(std::move(file));
    });
    if (error) {
        files.clear();
        return error;
    }
    std::sort(files.begin(), files.end(),
              [](const BrowseEntry& a, const BrowseEntry& b) { return a.name < b.name; });
    return {};
}

std::error_code listSubfolders(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    const std::error_code error = readFolder(folder, [&names](const FILE_ID_BOTH_DIR_INFO& item) {
        if ((item.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            !windows::isLink(item.FileAttributes, item.EaSize)) {
            names.push_back(nameOf(item));
        }
    });
    if (error) {
        names.clear();
        return error;
    }
    std::sort(names.begin(), names.end());
    return {};
}

std::error_code probeFolder(const std::string& folder) {
    const windows::QuietDriveErrors quiet;
    OwnedHandle handle;
    return openFolder(folder, handle);
}

bool isDeviceUnavailable(int error) {
    switch (error) {
    case ERROR_NOT_READY:          // no medium in the drive
    case ERROR_NO_MEDIA_IN_DRIVE:  //
    case ERROR_UNRECOGNIZED_MEDIA: // a disc or card that cannot be read
    case ERROR_CRC:                // a damaged medium
    case ERROR_IO_DEVICE:          //
    case ERROR_DEV_NOT_EXIST:      // a device removed, a share gone
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BAD_NETPATH: // a share that does not answer
    case ERROR_BAD_NET_NAME:
    case ERROR_NETNAME_DELETED:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_REM_NOT_LIST:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_SEM_TIMEOUT:
        return true;
    default:
        return false;
    }
}

} // namespace platform
