#pragma once

#include <string>
#include <vector>

class Exclusions;

/// One path a scan starts from.
struct ScanTarget {
    enum class Kind { Folder, File, Stream };
    Kind kind = Kind::Folder;
    /// A folder's path; a file's path (its folder's path, a separator and its name); or the
    /// location under which a stream's detection is listed.
    std::string path;
    int fd = -1; ///< the descriptor a stream is read from
    /// For a folder: paths below it, with the system's separator, of folders and files that
    /// earlier targets scanned already, which its walk passes over.
    std::vector<std::string> passOver{};
};

/// The target that a path given by the user names: a folder, its links resolved as for a folder
/// chosen in the folder dialog; or a regular file, absolute, with the links of its folder
/// resolved but never reached through a link itself (a file given as a link is refused, so an
/// action never lands on a file elsewhere). Returns why the path cannot be scanned, or nothing.
std::string ResolveScanTarget(const std::string& path, ScanTarget& target);

/// Makes a scan of `targets` examine each file once, in the first place it is met: a target
/// that an earlier folder's walk reaches (the same path, or one below it that `exclusions` do not
/// pass over) is dropped, and an earlier target below a later folder is passed over by that
/// folder's walk. Returns one line per overlap, in order, for the user.
std::vector<std::string> SettleOverlaps(std::vector<ScanTarget>& targets,
                                        const Exclusions& exclusions);
