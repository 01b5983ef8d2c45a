#pragma once

#include <optional>
#include <string>

/// What the file inspector shows for one file. Filled in step by step (checksum, packer, compiler,
/// type, mark rule); a step that fails ends the filling, and what was filled in before stays.
struct FileInspection {
    std::string checksum; ///< checksum text; "0" when no checksum could be made
    std::optional<std::string> packer;
    std::optional<std::string> compiler;
    std::optional<std::string> type;
    /// Whether the checksum may be marked as the temporary database: the file is at most 750 KB
    /// and has a checksum other than "0". Unset when an earlier step failed.
    std::optional<bool> canMark;
    /// SHA-256 of the whole file in lowercase hexadecimal, as hash lists name files.
    std::optional<std::string> sha256;
    std::string error; ///< why the filling stopped; empty when every step succeeded
};

FileInspection InspectFile(const std::string& path);

/// The mark rule alone, for a file of `length` bytes with `checksumText`.
bool CanMarkChecksum(unsigned long long length, const std::string& checksumText);

/// What closing the inspector marks: the shown checksum when the box is ticked (also while it is
/// disabled), but never "0" or nothing, which stand for a file whose checksum could not be made;
/// marking those would report every empty or unreadable file.
std::optional<std::string> ChecksumToMark(bool ticked, const std::string& shownChecksum);
