#pragma once

#include "cache/VerdictRecord.h"
#include "platform/FolderHandle.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

/// How many entries a store holds and how large it is.
struct VerdictStoreStats {
    std::uint64_t entries = 0;
    std::uint64_t bytes = 0; ///< the store's data file on disk
    std::uint64_t limit = 0; ///< the most the data file may take
    /// The last scan that used the store: the files it checked and those answered from the store.
    std::optional<std::uint64_t> lastChecked;
    std::optional<std::uint64_t> lastHits;
};

/// A file's facts waiting to be written, with the identity of the file they belong to.
struct PendingVerdict {
    std::uint64_t volumeId = 0; ///< the file system's id (statfs)
    std::uint64_t device = 0;   ///< the device it is mounted from
    std::uint64_t inode = 0;
    VerdictRecord record;
};

/// The persistent store of the verdict cache: one memory-mapped key-value file (LMDB) in a
/// folder the caller opened and checked. Writes are transactions, so a process killed at any
/// moment leaves the store as its last finished write left it. Entries belong to one fingerprint
/// of everything that decides a verdict; a write under another fingerprint empties the store
/// first. The data file never grows past its limit: when it fills, the entries of the oldest
/// scans go first. Lookups are safe from several threads at once, and several processes may use
/// one store.
class VerdictStore {
public:
    static constexpr std::uint64_t kDefaultLimit = 64ull << 20;
    /// The data file's name; the lock file adds "-lock", a damaged store set aside ".damaged".
    static constexpr std::string_view kFileName = "verdicts.lmdb";

    /// Opens the store in `folder`, making it when missing. A store that cannot be opened, or is
    /// damaged, not this program's or larger than `limit`, is set aside (renamed to
    /// "verdicts.lmdb.damaged", replacing an earlier one) and made anew; `warning` then says so.
    /// Fails (empty result, `error` set) only when no store can be had at all.
    static std::unique_ptr<VerdictStore> Open(const platform::FolderHandle& folder,
                                              std::uint64_t limit, std::string& warning,
                                              std::error_code& error);
    ~VerdictStore();
    VerdictStore(const VerdictStore&) = delete;
    VerdictStore& operator=(const VerdictStore&) = delete;

    /// The number the store gave the volume (file system id and device), if it has any entry on
    /// it under `fingerprint`.
    std::optional<std::uint32_t> findVolume(std::string_view fingerprint, std::uint64_t volumeId,
                                            std::uint64_t device) const;
    /// The entry of the file `inode` on the numbered volume, when there is one under
    /// `fingerprint`. An entry that does not decode marks the store damaged and reads as none.
    std::optional<VerdictRecord> find(std::string_view fingerprint, std::uint32_t volume,
                                      std::uint64_t inode) const;
    /// Writes the entries in one transaction under `fingerprint` (emptying the store first when it
    /// holds another), with a new serial for the first write of each `scan` handed out by
    /// `startScan`.
    std::error_code write(std::string_view fingerprint, std::uint32_t serial,
                          std::span<const PendingVerdict> entries);
    /// A serial higher than every entry's, for the entries of one scan.
    std::uint32_t startScan();
    /// Records what the last scan checked and how many files the store answered.
    std::error_code recordScan(std::uint64_t checked, std::uint64_t hits);
    /// Removes every entry.
    std::error_code clear();
    VerdictStoreStats stats() const;
    /// Whether a read found damage the opening did not; such a store is set aside when it closes.
    bool damaged() const;

private:
    struct Environment;
    explicit VerdictStore(std::unique_ptr<Environment> environment);
    std::unique_ptr<Environment> m_environment;
};
