#pragma once

#include "cache/VerdictRecord.h"
#include "cache/VerdictStore.h"
#include "platform/FolderHandle.h"
#include "platform/InputFile.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

/// What earlier scans learnt about files that have not changed since, so that a scan need not
/// read them again. A file's facts are looked up by its identity (file system, device, inode)
/// and count only while its length and both times are as they were when it was read; they are
/// kept only on file systems whose change times can be trusted, and only for files whose change
/// time lay well before the scan began: a file changed twice within one tick of its file system's
/// clock would keep its change time. Everything is valid under one fingerprint of whatever
/// decides a verdict (signature database, built-in patterns, program version).
///
/// Lookups and new facts come from the scan's worker threads at once; new facts are written to
/// the store on a thread of the cache's own, so no check waits for the disk.
class VerdictCache {
public:
    /// How long before a scan began a file's change time must lie for its facts to be kept.
    static constexpr std::int64_t kSettledNanoseconds = 2'000'000'000;

    /// Opens the cache kept in `folder` (see OpenCacheFolder) for scans under `fingerprint`.
    /// None when it cannot be used; `warning` then says why. A damaged store is set aside and
    /// made anew: that gives a cache and a warning.
    static std::unique_ptr<VerdictCache> Open(const std::string& folder, std::string fingerprint,
                                              std::string& warning,
                                              std::uint64_t limit = VerdictStore::kDefaultLimit);
    /// Writes the facts still waiting.
    ~VerdictCache();
    VerdictCache(const VerdictCache&) = delete;
    VerdictCache& operator=(const VerdictCache&) = delete;

    /// A scan begins; `startedNs` is this computer's clock then (nanoseconds since 1970).
    void beginScan(std::int64_t startedNs);
    /// The facts kept for the file `inode` listed in `folder`, with the stamp they belong to.
    std::optional<VerdictRecord> find(const platform::FolderHandle& folder, std::uint64_t inode);
    /// Keeps the facts of the content a file had at `stamp` (as it was opened), which lies in
    /// `folder`; passed over unless the file system keeps true change times and the change time
    /// lies settled before the scan began.
    void remember(const platform::FolderHandle& folder, const platform::FileStamp& stamp,
                  const ContentFacts& facts);
    /// The facts kept for the open file `file` (of a watcher rather than a scan), whose
    /// identity is `stamp`'s.
    std::optional<VerdictRecord> find(platform::NativeHandle file,
                                      const platform::FileStamp& stamp);
    /// Keeps the facts of the content the open file `file` had at `stamp`, read from
    /// `readStartedNs` on; passed over unless the file system keeps true change times and the
    /// change time lies settled before the read began.
    void remember(platform::NativeHandle file, const platform::FileStamp& stamp,
                  const ContentFacts& facts, std::int64_t readStartedNs);
    /// The scan is over: writes what waits and records its counts.
    void endScan(std::uint64_t checked, std::uint64_t hits);

    const VerdictStore& store() const { return *m_store; }

private:
    struct Volume {
        bool trusted = false;
        std::uint64_t id = 0;
        std::optional<std::uint32_t> number; ///< the store's number for it, when it has one
    };

    VerdictCache(std::unique_ptr<VerdictStore> store, std::string fingerprint);
    /// The volume of device `device`, asked of `handle` (open on it) the first time.
    Volume volumeOf(platform::NativeHandle handle, std::uint64_t device);
    void keep(const Volume& volume, const platform::FileStamp& stamp, const ContentFacts& facts,
              std::int64_t settledBefore);
    void writeLoop();
    /// Writes the facts waiting; called on the writing thread.
    void writeWaiting(std::unique_lock<std::mutex>& lock);

    std::unique_ptr<VerdictStore> m_store;
    const std::string m_fingerprint;
    std::int64_t m_settledBefore = 0;

    std::mutex m_volumesMutex;
    std::unordered_map<std::uint64_t, Volume> m_volumes; // by device, for the current scan
    std::atomic<std::uint64_t> m_generation{0};          // tells this scan's answers from others

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    std::vector<PendingVerdict> m_waiting;
    bool m_flushRequested = false;
    bool m_stopping = false;
    std::optional<std::uint32_t> m_serial; // the scan's serial, taken at its first write
    std::thread m_writer;
};
