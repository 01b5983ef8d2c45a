#include "platform/Mounts.h"

#include "platform/windows/WideText.h"

#include <windows.h>

namespace platform {

namespace {

/// Keeps the system from asking the user to insert a disk while this thread asks a drive: an
/// empty card reader or disc drive then fails at once.
class QuietDriveErrors {
public:
    QuietDriveErrors() {
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_);
    }
    ~QuietDriveErrors() { ::SetThreadErrorMode(previous_, nullptr); }
    QuietDriveErrors(const QuietDriveErrors&) = delete;
    QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

private:
    DWORD previous_ = 0;
};

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
    default:
        return "fixed drive";
    }
}

} // namespace

std::vector<Drive> listDrives(const DriveSources& sources) {
    const std::uint32_t letters = sources.letters ? sources.letters() : ::GetLogicalDrives();
    const auto& kindOf = sources.kind ? sources.kind : systemKind;
    const auto& fileSystemOf = sources.fileSystem ? sources.fileSystem : systemFileSystem;
    std::vector<Drive> drives;
    for (int letter = 0; letter < 26; ++letter) {
        if ((letters & (std::uint32_t{1} << letter)) == 0) {
            continue;
        }
        const std::string root = std::string(1, static_cast<char>('A' + letter)) + ":\\";
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
