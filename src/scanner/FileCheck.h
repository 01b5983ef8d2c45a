#pragma once

#include "platform/ReadBuffer.h"
#include "scanner/DetectionList.h"
#include "scanner/FolderWalk.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class ExtraSignatures;
class SignatureDatabase;
class VerdictCache;

/// What the per-file check needs besides the file.
struct FileCheckContext {
    const SignatureDatabase& database;
    /// The quarantine folder without its final separator; files in it or below it are never
    /// examined.
    std::string quarantineFolder;
    /// What earlier scans learnt about files that have not changed since; none reads every file.
    VerdictCache* cache = nullptr;
    /// The signature sources beside the shipped database (hash lists, YARA rules); none for the
    /// shipped database and patterns alone.
    const ExtraSignatures* extra = nullptr;
};

/// Size limits, in KB of 1024 bytes: files this large are not examined at all, and files this
/// large are not checksummed.
inline constexpr double kExamineLimitKb = 4000.0;
inline constexpr double kChecksumLimitKb = 750.0;
inline constexpr std::size_t kExamineLimitBytes = 4'096'000;

/// True when files of `folder` (which ends with a separator) lie in the quarantine folder or
/// below it; folders are compared whole, name by name, so "Karantina2" is not "Karantina".
bool InQuarantine(std::string_view folder, std::string_view quarantineFolder);

/// What the check of one file found.
struct FileCheckResult {
    std::optional<DetectionEntry> row; ///< the row to list, if any
    std::string unreadable;    ///< why the file could not be read; empty when it was or need not be
    std::string lookupFailure; ///< why its checksum could not be looked up; empty when it was
    /// False when the bytes read show that no process can be running the file, so a listed file
    /// needs no look at the running processes; true when the content is not known.
    bool mayBeRunning = true;
    /// The version of the database its checksum was looked up in (SignatureDatabase::version), 0
    /// when the lookup failed; empty when nothing was looked up.
    std::optional<std::uint64_t> databaseVersion;
    /// Whether the facts of the file's content came from the verdict cache instead of a read.
    bool fromCache = false;
};

/// The per-file check of one walked file: programs and screen savers are searched for the
/// built-in patterns first (the first pattern found lists the file), then files under 750 KB not
/// listed already get the checksum lookup. The file is read once for both, relative to its
/// folder's descriptor without following links; its length is the one it has when opened, not
/// the walk's (which the scan does not look up). A file that cannot be read, and a lookup the
/// database cannot answer, list nothing and are reported in the result; a file that vanished or
/// stopped being a regular file since the walk is passed over. `buffer` is reused between calls.
/// It does not end processes. With a verdict cache, a file whose identity, length and times are
/// those the cache kept is not read: the facts kept for its content stand in for the read, and
/// the facts of a file read are kept for the next scan.
FileCheckResult CheckFile(const WalkedFile& file, const FileCheckContext& context,
                          platform::ReadBuffer& buffer);

/// Whether the check reads a file of this name and length: programs up to the examine limit,
/// other files below the checksum limit, files the extra sources want to see (when given), and
/// no file of no length.
bool ExaminedByCheck(std::string_view name, std::uint64_t length,
                     const ExtraSignatures* extra = nullptr);

/// What the check of a file opened elsewhere needs besides the file.
struct OpenFileContext {
    const SignatureDatabase& database;
    /// The database lookup round (SignatureDatabase::startRound); 0 looks at the database file
    /// for each lookup.
    std::uint64_t databaseRound = 0;
    /// What earlier checks learnt about files that have not changed since; none reads every file.
    VerdictCache* cache = nullptr;
    /// This computer's clock (nanoseconds since 1970), for when a read began; without it no new
    /// facts are kept.
    std::function<std::int64_t()> nowNs;
    /// As FileCheckContext::extra.
    const ExtraSignatures* extra = nullptr;
    /// The file's full path, which YARA rules may look at.
    std::string_view path{};
};

/// What the check of a file opened elsewhere found.
struct OpenFileVerdict {
    std::string threat;      ///< the listed name; empty when the file is not listed
    std::string information; ///< the row's information for a listed file
    /// Whether the file's name and length call for a look at its content at all (a program up to
    /// the examine limit, another file below the checksum limit); false for the others, which are
    /// passed over unread as a scan passes them over.
    bool examined = false;
    bool fromCache = false;    ///< answered from the verdict cache without a read
    std::string unreadable;    ///< why the file could not be read; empty when it was
    std::string lookupFailure; ///< why its checksum could not be looked up; empty when it was
    /// As FileCheckResult::databaseVersion.
    std::optional<std::uint64_t> databaseVersion;
};

/// Checks an open file (a program about to run, a file just written) as CheckFile checks a
/// walked one: `name` (its name in its folder) decides whether its content is searched for the
/// patterns, its length when opened decides whether it is read at all. Reads from the file's
/// current position, which must be its start.
OpenFileVerdict CheckOpenFile(platform::InputFile& input, std::string_view name,
                              const OpenFileContext& context, platform::ReadBuffer& buffer);

/// CheckOpenFile's answer for a file it would not read: one a scan passes over unread, or one
/// the verdict cache answers; none when the file must be read. Never reads the file.
std::optional<OpenFileVerdict> CheckOpenFileFromCache(const platform::InputFile& input,
                                                      std::string_view name,
                                                      const OpenFileContext& context);

/// Starts reading a walked file into memory ahead of its check, without waiting for it, when the
/// check will read it (the verdict cache knows nothing of it) and its start is not in memory
/// yet. True when it did.
bool PrefetchFile(const WalkedFile& file, const FileCheckContext& context);
