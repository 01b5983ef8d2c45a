#include "platform/Mounts.h"

#include "platform/windows/QuietDriveErrors.h"
#include "platform/windows/WideText.h"

#include <algorithm>
#include <windows.h>

namespace platform {

namespace {

using windows::QuietDriveErrors;

DriveKind systemKind(const std::string& root) {
    switch (::GetDriveTypeW(windows::widen(root).c_str())) {
    case DRIVE_REMOVABLE:
        return DriveKind::Removable;
    case DRIVE_FIXED:
        return DriveKind::Fixed;
    case DRIVE_REMOTE:
        return DriveKind::Network;
    case DRIVE_CDROM:
        return DriveKind::Optical;
    case DRIVE_RAMDISK:
        return DriveKind::RamDisk;
    default: // unknown, or no such root
        return DriveKind::None;
    }
}

std::string systemFileSystem(const std::string& root) {
    wchar_t name[MAX_PATH + 1] = {};
    const QuietDriveErrors quiet;
    if (!::GetVolumeInformationW(windows::widen(root).c_str(), nullptr, 0, nullptr, nullptr,
                                 nullptr, name, MAX_PATH + 1)) {
        return {};
    }
    return windows::narrow(name);
}

const char* kindText(DriveKind kind) {
    switch (kind) {
    case DriveKind::Removable:
        return "removable drive";
    case DriveKind::Optical:
        return "optical drive";
    case DriveKind::RamDisk:
        return "RAM disk";
    case DriveKind::Network:
        return "network drive";
    default:
        return "fixed drive";
    }
}

std::string letterRoot(int letter) {
    return std::string(1, static_cast<char>('A' + letter)) + ":\\";
}

/// The drive roots in use, "A:\" to "Z:\": from `letters` when a test gives them, else as
/// GetLogicalDriveStringsW lists them.
std::vector<std::string> rootsInUse(const DriveSources& sources) {
    std::vector<std::string> roots;
    if (sources.letters) {
        const std::uint32_t letters = sources.letters();
        for (int letter = 0; letter < 26; ++letter) {
            if ((letters & (std::uint32_t{1} << letter)) != 0) {
                roots.push_back(letterRoot(letter));
            }
        }
        return roots;
    }
    std::wstring buffer(4 * 26 + 1, L'\0');
    for (;;) {
        const DWORD length =
            ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            return roots;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(length + 1); // drives were added since the size was asked
    }
    for (std::size_t at = 0; at < buffer.size();) {
        const std::size_t end = std::min(buffer.find(L'\0', at), buffer.size());
        if (end > at) {
            roots.push_back(windows::narrow(std::wstring_view(buffer).substr(at, end - at)));
        }
        at = end + 1;
    }
    return roots;
}

} // namespace

std::vector<Drive> listBrowseRoots(const DriveSources& sources) {
    const auto& kindOf = sources.kind ? sources.kind : systemKind;
    std::vector<Drive> drives;
    for (std::string& root : rootsInUse(sources)) {
        const DriveKind kind = kindOf(root);
        if (kind == DriveKind::None) {
            continue;
        }
        Drive drive;
        drive.source = kindText(kind);
        drive.mountPoint = std::move(root);
        drive.removable = kind == DriveKind::Removable || kind == DriveKind::Optical;
        // A share may be slow or gone: its space is never asked for.
        drive.queryable = kind != DriveKind::Network;
        drives.push_back(std::move(drive));
    }
    return drives;
}

std::vector<Drive> listDrives(const DriveSources& sources) {
    const std::uint32_t letters = sources.letters ? sources.letters() : ::GetLogicalDrives();
    const auto& kindOf = sources.kind ? sources.kind : systemKind;
    const auto& fileSystemOf = sources.fileSystem ? sources.fileSystem : systemFileSystem;
    std::vector<Drive> drives;
    for (int letter = 0; letter < 26; ++letter) {
        if ((letters & (std::uint32_t{1} << letter)) == 0) {
            continue;
        }
        const std::string root = letterRoot(letter);
        const DriveKind kind = kindOf(root);
        // A share may be slow or gone; it is never asked.
        if (kind == DriveKind::None || kind == DriveKind::Network) {
            continue;
        }
        Drive drive;
        drive.source = kindText(kind);
        drive.mountPoint = root;
        drive.type = fileSystemOf(root);
        if (drive.type.empty()) {
            drive.type = "unknown";
        }
        drive.removable = kind == DriveKind::Removable || kind == DriveKind::Optical;
        drives.push_back(std::move(drive));
    }
    return drives;
}

std::optional<Space> querySpace(const std::string& mountPoint) {
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER free{};
    const QuietDriveErrors quiet;
    if (!::GetDiskFreeSpaceExW(windows::widen(mountPoint).c_str(), &available, &total, &free)) {
        return std::nullopt;
    }
    return Space{total.QuadPart, available.QuadPart, free.QuadPart};
}

} // namespace platform
