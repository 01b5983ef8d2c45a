#include "platform/Mounts.h"

#include "platform/SystemFacts.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <map>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace platform {

std::string unescapeMountField(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) {
            return at < field.size() && field[at] >= '0' && field[at] <= '7';
        };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3) &&
            field[i + 1] <= '3') {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::vector<MountEntry> parseMounts(std::string_view text) {
    std::vector<MountEntry> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        std::array<std::string_view, 3> fields;
        std::size_t count = 0;
        std::size_t at = 0;
        while (count < fields.size()) {
            at = line.find_first_not_of(" \t", at);
            if (at == std::string_view::npos) {
                break;
            }
            const std::size_t stop = std::min(line.find_first_of(" \t", at), line.size());
            fields[count++] = line.substr(at, stop - at);
            at = stop;
        }
        if (count < fields.size()) {
            continue;
        }
        entries.push_back({unescapeMountField(fields[0]), unescapeMountField(fields[1]),
                           unescapeMountField(fields[2])});
    }
    return entries;
}

bool isNetworkFileSystem(std::string_view type) {
    static constexpr std::array<std::string_view, 16> kNetwork = {
        "nfs", "nfs4", "cifs",  "smb3",   "smbfs", "ncpfs", "ceph", "glusterfs",
        "afs", "9p",   "davfs", "lustre", "gfs2",  "ocfs2", "coda", "sshfs"};
    return std::find(kNetwork.begin(), kNetwork.end(), type) != kNetwork.end();
}

bool isFuseFileSystem(std::string_view type) {
    return type == "fuse" || type == "fuseblk" || type.starts_with("fuse.");
}

namespace {

bool blockDeviceByStat(const std::string& source) {
    // Only device paths are looked at: a source naming a file on another mount could hang on it.
    if (!source.starts_with("/dev/")) {
        return false;
    }
    struct stat info {};
    return ::stat(source.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
}

/// The kernel's name of a device path ("/dev/mapper/x" is "dm-0"): the last part of its real path.
std::string deviceName(const std::string& source) {
    std::string path = source;
    if (char* real = ::realpath(source.c_str(), nullptr); real != nullptr) {
        path = real;
        std::free(real);
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readsOne(const std::string& path) {
    const auto text = readSmallFile(path, 64);
    return text && !text->empty() && text->front() == '1';
}

std::uint64_t product(std::uint64_t a, std::uint64_t b) {
    std::uint64_t result = 0;
    return __builtin_mul_overflow(a, b, &result) ? UINT64_MAX : result;
}

} // namespace

bool isRemovable(const std::string& sysClassBlock, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return false;
    }
    const std::string device = sysClassBlock + "/" + name;
    if (readSmallFile(device + "/removable")) {
        return readsOne(device + "/removable");
    }
    // A partition's folder lies inside its disk's folder.
    return readsOne(device + "/../removable");
}

std::vector<Drive> listDrives(const DriveSources& sources) {
    const auto text = readSmallFile(sources.mountsFile, 16 << 20);
    if (!text) {
        return {};
    }
    const auto& isBlock = sources.isBlockDevice ? sources.isBlockDevice : blockDeviceByStat;
    std::map<std::string, Drive> byMountPoint; // byte order of the mount point
    for (MountEntry& entry : parseMounts(*text)) {
        if (isNetworkFileSystem(entry.type) || !isBlock(entry.source)) {
            byMountPoint.erase(entry.mountPoint); // a later mount hides the one below
            continue;
        }
        Drive drive;
        drive.removable = isRemovable(sources.sysClassBlock, deviceName(entry.source));
        drive.queryable = !isFuseFileSystem(entry.type);
        drive.source = std::move(entry.source);
        drive.mountPoint = entry.mountPoint;
        drive.type = std::move(entry.type);
        byMountPoint.insert_or_assign(std::move(entry.mountPoint), std::move(drive));
    }
    std::vector<Drive> drives;
    drives.reserve(byMountPoint.size());
    for (auto& [mountPoint, drive] : byMountPoint) {
        drives.push_back(std::move(drive));
    }
    return drives;
}

std::vector<Drive> listBrowseRoots(const DriveSources& sources) {
    return listDrives(sources);
}

std::optional<Space> querySpace(const std::string& mountPoint) {
    struct statvfs info {};
    if (::statvfs(mountPoint.c_str(), &info) != 0) {
        return std::nullopt;
    }
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    return Space{product(info.f_blocks, unit), product(info.f_bavail, unit),
                 product(info.f_bfree, unit)};
}

} // namespace platform
