#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// One line of a mounts table, with its escapes undone.
struct MountEntry {
    std::string source;
    std::string mountPoint;
    std::string type;
};

/// Parses a mounts table (`/proc/self/mounts` format). Lines with fewer than three fields are
/// skipped; the octal escapes "\040", "\011", "\012", "\134" (any three octal digits up to
/// "\377") become their byte, any other backslash stays as it is.
std::vector<MountEntry> parseMounts(std::string_view text);
std::string unescapeMountField(std::string_view field);

/// File systems reached over a network, and FUSE file systems, whose daemon may never answer.
bool isNetworkFileSystem(std::string_view type);
bool isFuseFileSystem(std::string_view type);

/// A mounted block-device file system; on Windows a drive letter.
struct Drive {
    std::string source;
    std::string mountPoint;
    std::string type;
    bool removable = false;
    /// False for FUSE mounts: their space is never asked for.
    bool queryable = true;
};

/// What a Windows drive letter holds.
enum class DriveKind { None, Removable, Fixed, Network, Optical, RamDisk };

/// Where the drive list comes from; tests point these at their own files and answers.
struct DriveSources {
    // Linux:
    std::string mountsFile = "/proc/self/mounts";
    std::string sysClassBlock = "/sys/class/block";
    /// Whether a mount's source is a block device; by default a "/dev/" path that `stat` finds
    /// to be one.
    std::function<bool(const std::string& source)> isBlockDevice;

    // Windows, each by default the system's answer:
    /// The drive letters in use, bit 0 for A:.
    std::function<std::uint32_t()> letters;
    /// What the root ("C:\") holds; None for an unknown kind or a root that does not exist.
    std::function<DriveKind(const std::string& root)> kind;
    /// The name of the root's file system; empty when the drive does not answer.
    std::function<std::string(const std::string& root)> fileSystem;
};

/// On Linux, the block-device mounts in byte order of the mount point (so "/" comes first), each
/// mount point once (the last mount on it, the one that is visible). On Windows, the drives "A:\"
/// to "Z:\" in letter order; the source tells the kind of drive, the type its file system
/// ("unknown" when it does not answer). Network file systems and drives are never listed.
std::vector<Drive> listDrives(const DriveSources& sources = {});

/// The places a file browser starts from. On Linux the drives of `listDrives`. On Windows every
/// drive root in use, "A:\" to "Z:\" in letter order, network drives included (their source
/// "network drive", never queryable): only each root's kind is asked, so neither an empty drive
/// nor a share that does not answer holds the list up; the type is left empty.
std::vector<Drive> listBrowseRoots(const DriveSources& sources = {});

/// Whether the block device `name` (a disk or a partition) is removable, from
/// `<sysClassBlock>/<name>/removable` or, for a partition, its disk's.
bool isRemovable(const std::string& sysClassBlock, const std::string& name);

/// Space of a mounted file system in bytes; sums saturate instead of wrapping.
struct Space {
    std::uint64_t total = 0;
    std::uint64_t available = 0; ///< what an ordinary user can still write
    std::uint64_t free = 0;      ///< including the blocks reserved for the administrator
};

/// `statvfs` of a mount point, `GetDiskFreeSpaceExW` of a Windows root; none when it fails.
std::optional<Space> querySpace(const std::string& mountPoint);

} // namespace platform
