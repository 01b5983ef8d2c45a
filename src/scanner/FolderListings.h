#pragma once

#include "platform/FolderHandle.h"
#include "platform/FolderListing.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

/// The listings one walk of a scan took, kept so that the scan's next walk need not list the same
/// folders again. A listing is handed back only for the same folder (device and inode) whose
/// change time is still the one it had when it was listed; and it is kept only where that time
/// proves something: on a file system that stamps every change of a folder's entries with this
/// computer's clock, and when the time lies well before the first walk began. A change made just
/// after a listing, within the same tick of the file system's clock as the change before it, would
/// leave the time as it was; such recent folders are therefore always listed again. Kept listings
/// take at most `budget` bytes; folders past that are listed again too.
class FolderListings {
public:
    static constexpr std::size_t kDefaultBudget = 24 * 1024 * 1024;
    /// How long before the first walk a folder's change time must lie.
    static constexpr std::int64_t kSettledNanoseconds = 2'000'000'000;

    /// `walkStarted`: when the first walk began, in nanoseconds since 1970 by this computer's
    /// clock (read before any folder was opened).
    explicit FolderListings(std::int64_t walkStarted, std::size_t budget = kDefaultBudget);

    /// Keeps the listing of the folder open as `folder`, which the first walk is done with.
    void keep(const platform::FolderHandle& folder, std::vector<platform::FolderEntry>&& entries);
    /// Moves the kept listing of the folder open as `folder` into `entries` when it is still
    /// valid; false when the folder must be listed. A listing is handed back once.
    bool take(const platform::FolderHandle& folder, std::vector<platform::FolderEntry>& entries);

    /// The same for a folder on a trusted file system known by its identity and change time.
    void keep(platform::FileId id, std::int64_t changeTime,
              std::vector<platform::FolderEntry>&& entries);
    bool take(platform::FileId id, std::optional<std::int64_t> changeTime,
              std::vector<platform::FolderEntry>& entries);

    /// Listings handed back so far.
    std::size_t reused() const { return m_reused; }

    /// This computer's clock now, as `walkStarted` wants it.
    static std::int64_t Now();

private:
    struct IdHash {
        std::size_t operator()(const platform::FileId& id) const {
            return std::hash<std::uint64_t>()(id.inode * 31 + id.device);
        }
    };
    struct Kept {
        std::int64_t changeTime = 0;
        std::vector<platform::FolderEntry> entries;
        std::size_t bytes = 0;
    };
    bool trusted(const platform::FolderHandle& folder);

    std::int64_t m_walkStarted;
    std::size_t m_budget;
    std::size_t m_bytes = 0;
    std::size_t m_reused = 0;
    std::unordered_map<platform::FileId, Kept, IdHash> m_kept;
    std::unordered_map<std::uint64_t, bool> m_trustedDevices; // by device
};
