#pragma once

#include "scanner/FileCheck.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

class ExtraSignatures;
class SignatureDatabase;
class VerdictCache;

/// The check the guard makes of each file, as a scan makes it: the verdict cache first, then the
/// built-in patterns for programs, the checksum lookup in the signature database and the extra
/// signature sources. Called from several threads at once. The guard knows a file by its name;
/// YARA rules see that name as its path too.
class GuardChecker {
public:
    /// `database`, `cache` (none: every file is read) and `extra` (none: the shipped signatures
    /// alone) must outlive the checker.
    GuardChecker(const SignatureDatabase& database, VerdictCache* cache,
                 const ExtraSignatures* extra = nullptr);

    OpenFileVerdict check(platform::InputFile& file, std::string_view name);
    /// The verdict without a read, when there is one (see CheckOpenFileFromCache).
    std::optional<OpenFileVerdict> checkUnread(const platform::InputFile& file,
                                               std::string_view name);
    /// Lets the lookups that follow see a database file that changed, and the cache look again
    /// at which file systems it holds facts for (a file system mounted anew, or one it began to
    /// keep facts of since). Called about once a second.
    void refresh();

private:
    const SignatureDatabase& m_database;
    VerdictCache* m_cache;
    const ExtraSignatures* m_extra;
    std::atomic<std::uint64_t> m_round{0};
};
