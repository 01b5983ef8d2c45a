#include "cache/VerdictCache.h"

#include "cache/CacheError.h"
#include "cache/CacheFolder.h"

#include <chrono>

namespace {

// Facts are written in batches of this many, or after a second at most.
constexpr std::size_t kBatch = 8192;
constexpr auto kWriteDelay = std::chrono::seconds(1);
// Past this many waiting facts (while another program holds the store's write lock), new ones
// are passed over rather than held in memory without bound.
constexpr std::size_t kMaxWaiting = 65536;

std::atomic<std::uint64_t> g_instances{0};

} // namespace

std::unique_ptr<VerdictCache> VerdictCache::Open(const std::string& folder, std::string fingerprint,
                                                 std::string& warning, std::uint64_t limit) {
    platform::FolderHandle handle;
    if (const std::error_code error = OpenCacheFolder(folder, handle)) {
        if (error == CacheError::Unavailable) {
            return nullptr; // nothing to warn about where no cache is built
        }
        warning = "cannot use the verdict cache folder '" + folder + "': " + error.message();
        return nullptr;
    }
    std::error_code error;
    std::unique_ptr<VerdictStore> store = VerdictStore::Open(handle, limit, warning, error);
    if (!store) {
        warning = "cannot use the verdict cache in '" + folder + "': " + error.message();
        return nullptr;
    }
    if (!warning.empty()) {
        warning += " in '" + folder + "'";
    }
    return std::unique_ptr<VerdictCache>(
        new VerdictCache(std::move(store), std::move(fingerprint)));
}

VerdictCache::VerdictCache(std::unique_ptr<VerdictStore> store, std::string fingerprint)
    : m_store(std::move(store)), m_fingerprint(std::move(fingerprint)), m_generation(++g_instances),
      m_writer([this] { writeLoop(); }) {}

VerdictCache::~VerdictCache() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_writer.join();
}

void VerdictCache::beginScan(std::int64_t startedNs) {
    const std::lock_guard lock(m_mutex);
    m_settledBefore = startedNs - kSettledNanoseconds;
    m_serial.reset();
    const std::lock_guard volumes(m_volumesMutex);
    m_volumes.clear();
    m_generation.store(++g_instances, std::memory_order_release);
}

VerdictCache::Volume VerdictCache::volumeOf(platform::NativeHandle handle, std::uint64_t device) {
    // Most lookups in a row come from one device: each thread keeps the last answer, valid for
    // this cache's current scan only.
    struct Memo {
        std::uint64_t owner = 0;
        std::uint64_t device = 0;
        Volume volume;
    };
    thread_local Memo memo;
    const std::uint64_t generation = m_generation.load(std::memory_order_acquire);
    if (memo.owner == generation && memo.device == device) {
        return memo.volume;
    }
    const std::lock_guard lock(m_volumesMutex);
    auto [known, inserted] = m_volumes.try_emplace(device);
    if (inserted) {
        if (const auto facts = platform::volumeOf(handle)) {
            known->second.trusted = facts->changeTimesTrusted;
            known->second.id = facts->id;
        }
        if (known->second.trusted) {
            known->second.number = m_store->findVolume(m_fingerprint, known->second.id, device);
        }
    }
    memo = {generation, device, known->second};
    return known->second;
}

std::optional<VerdictRecord> VerdictCache::find(const platform::FolderHandle& folder,
                                                std::uint64_t inode) {
    const Volume volume = volumeOf(folder.fd(), folder.id().device);
    if (!volume.number) {
        return std::nullopt;
    }
    return m_store->find(m_fingerprint, *volume.number, inode);
}

std::optional<VerdictRecord> VerdictCache::find(platform::NativeHandle file,
                                                const platform::FileStamp& stamp) {
    const Volume volume = volumeOf(file, stamp.device);
    if (!volume.number) {
        return std::nullopt;
    }
    return m_store->find(m_fingerprint, *volume.number, stamp.inode);
}

void VerdictCache::remember(const platform::FolderHandle& folder, const platform::FileStamp& stamp,
                            const ContentFacts& facts) {
    // A file mounted over a name of the folder lies on another volume than the folder.
    if (stamp.device != folder.id().device) {
        return;
    }
    std::int64_t settledBefore = 0;
    {
        const std::lock_guard lock(m_mutex);
        settledBefore = m_settledBefore;
    }
    keep(volumeOf(folder.fd(), folder.id().device), stamp, facts, settledBefore);
}

void VerdictCache::remember(platform::NativeHandle file, const platform::FileStamp& stamp,
                            const ContentFacts& facts, std::int64_t readStartedNs) {
    keep(volumeOf(file, stamp.device), stamp, facts, readStartedNs - kSettledNanoseconds);
}

void VerdictCache::keep(const Volume& volume, const platform::FileStamp& stamp,
                        const ContentFacts& facts, std::int64_t settledBefore) {
    if (!volume.trusted || stamp.size >= VerdictRecord::kMaxSize ||
        stamp.changedNs >= settledBefore) {
        return;
    }
    PendingVerdict pending;
    pending.volumeId = volume.id;
    pending.device = stamp.device;
    pending.inode = stamp.inode;
    pending.record.stamp = {stamp.size, stamp.changedNs};
    pending.record.facts = facts;
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        if (m_waiting.size() >= kMaxWaiting) {
            return;
        }
        m_waiting.push_back(pending);
        wake = m_waiting.size() == kBatch;
    }
    if (wake) {
        m_wake.notify_one();
    }
}

void VerdictCache::endScan(std::uint64_t checked, std::uint64_t hits) {
    std::unique_lock lock(m_mutex);
    m_flushRequested = true;
    m_wake.notify_one();
    m_written.wait(lock, [this] { return !m_flushRequested; });
    lock.unlock();
    m_store->recordScan(checked, hits);
}

void VerdictCache::writeLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, kWriteDelay, [this] {
            return m_stopping || m_flushRequested || m_waiting.size() >= kBatch;
        });
        if (!m_waiting.empty()) {
            writeWaiting(lock);
        }
        // Facts that came while the lock was let go for writing wait for the next round.
        if (m_flushRequested && m_waiting.empty()) {
            m_flushRequested = false;
            m_written.notify_all();
        }
        if (m_stopping && m_waiting.empty()) {
            return;
        }
    }
}

void VerdictCache::writeWaiting(std::unique_lock<std::mutex>& lock) {
    std::vector<PendingVerdict> batch;
    batch.swap(m_waiting);
    std::optional<std::uint32_t> serial = m_serial;
    lock.unlock();
    if (!serial) {
        serial = m_store->startScan();
    }
    // A write that fails (the store full while other programs read old pages, or damaged) loses
    // these facts only: the files are read again next time.
    m_store->write(m_fingerprint, *serial, batch);
    lock.lock();
    if (!m_serial) {
        m_serial = serial;
    }
}
