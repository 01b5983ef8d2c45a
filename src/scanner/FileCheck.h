#pragma once

#include "platform/ReadBuffer.h"
#include "scanner/DetectionList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class SignatureDatabase;

/// What the per-file check needs besides the file.
struct FileCheckContext {
    const SignatureDatabase& database;
    /// The quarantine folder without its final separator; files in any folder whose path begins
    /// with it are never examined.
    std::string quarantineFolder;
};

/// Size limits, in KB of 1024 bytes: files this large are not examined at all, and files this
/// large are not checksummed.
inline constexpr double kExamineLimitKb = 4000.0;
inline constexpr double kChecksumLimitKb = 750.0;
inline constexpr std::size_t kExamineLimitBytes = 4'096'000;

/// True when files of `folder` (which ends with a separator) lie in the quarantine folder.
bool InQuarantine(std::string_view folder, std::string_view quarantineFolder);

/// The per-file check of one file of `length` bytes: programs and screen savers are searched for
/// the built-in patterns first (the first pattern found lists the file), then files under 750 KB
/// not listed already get the checksum lookup. The file is read once for both. A check that fails
/// (unreadable file, a database that cannot answer) lists nothing. `buffer` is reused between calls
/// to save allocations. Returns the row to list, if any; it does not end processes.
std::optional<DetectionEntry> CheckFile(std::string_view folder, std::string_view name,
                                        std::uint64_t length, const FileCheckContext& context,
                                        platform::ReadBuffer& buffer);
