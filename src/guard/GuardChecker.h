#pragma once

#include "scanner/FileCheck.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

class SignatureDatabase;
class VerdictCache;

/// The check the guard makes of each file, as a scan makes it: the verdict cache first, then the
/// built-in patterns for programs and the checksum lookup in the signature database. Called from
/// several threads at once.
class GuardChecker {
public:
    /// `database` and `cache` (none: every file is read) must outlive the checker.
    GuardChecker(const SignatureDatabase& database, VerdictCache* cache);

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
    std::atomic<std::uint64_t> m_round{0};
};
