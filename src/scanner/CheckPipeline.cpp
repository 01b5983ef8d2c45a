#include "scanner/CheckPipeline.h"

#include <algorithm>

namespace {

// Files that gather before a sleeping thread is woken for them, and that are handed to the
// workers at once.
constexpr std::size_t kWakeBatch = 32;
// The most files a worker takes at once, and the unclaimed files there must be per file taken.
constexpr std::size_t kClaimRun = 8;
constexpr std::size_t kClaimShare = 16;
// How far ahead of the claimed files the workers prefetch while the files come from the disk.
constexpr std::size_t kPrefetchDistance = 256;
// Prefetched files found in memory one after another that end the prefetching.
constexpr std::size_t kCachedToStop = 64;
// A read that waited for the disk adds this to the wait score, every other read takes one off;
// the prefetching starts at kWaitScoreToStart. A few reads in a row that wait start it, while
// the odd one in a warm scan (a page the kernel is still busy with) does not.
constexpr std::size_t kWaitWeight = 8;
constexpr std::size_t kWaitScoreToStart = 32;

} // namespace

CheckPipeline::CheckPipeline(unsigned workers, Check check, Prefetch prefetch)
    : m_check(std::move(check)), m_prefetch(std::move(prefetch)) {
    for (unsigned i = 0; i < workers; ++i) {
        m_workers.emplace_back([this] { work(); });
    }
}

CheckPipeline::~CheckPipeline() {
    {
        const std::lock_guard lock(m_mutex);
        m_shutdown = true;
    }
    m_workAvailable.notify_all();
    for (auto& worker : m_workers) {
        worker.join();
    }
}

CheckPipeline::Result CheckPipeline::checkSafely(const WalkedFile& file,
                                                 platform::ReadBuffer& buffer) const {
    // A check that fails lists nothing and says so; the scan goes on.
    try {
        return m_check(file, buffer);
    } catch (const std::exception& error) {
        Result failed;
        failed.unreadable = error.what();
        return failed;
    } catch (...) {
        Result failed;
        failed.unreadable = "the check failed";
        return failed;
    }
}

void CheckPipeline::work() {
    platform::ReadBuffer buffer;
    std::vector<Slot*> claimed;
    std::vector<Result> results;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workAvailable.wait(lock, [this] { return m_shutdown || m_claimed < m_slots.size(); });
        if (m_shutdown) {
            return;
        }
        claimed.clear();
        for (std::size_t n = claimSize(); n > 0; --n) {
            claimed.push_back(&m_slots[m_claimed++]);
        }
        const std::vector<WalkedFile> ahead = takeFilesToPrefetch();
        lock.unlock();
        prefetch(ahead);
        results.clear();
        for (const Slot* slot : claimed) {
            results.push_back(checkSafely(slot->file, buffer));
        }
        lock.lock();
        for (std::size_t i = 0; i < claimed.size(); ++i) {
            claimed[i]->result = std::move(results[i]);
            claimed[i]->done = true;
        }
        m_doneWaiting += claimed.size();
        // The popping thread is woken for a run of results, or when the workers run out of work
        // (then nothing else would wake it), not for every file.
        if (m_doneWaiting >= kWakeBatch || m_claimed == m_slots.size()) {
            m_slotDone.notify_all();
        }
    }
}

std::size_t CheckPipeline::claimSize() const {
    // A worker takes one file while few wait, so that the last files of a walk are shared out
    // evenly, and up to kClaimRun while many do.
    const std::size_t unclaimed = m_slots.size() - m_claimed;
    return std::clamp<std::size_t>(unclaimed / kClaimShare, 1, kClaimRun);
}

void CheckPipeline::handOver() {
    for (WalkedFile& file : m_pushed) {
        m_slots.push_back(Slot{std::move(file), Result(), false});
    }
    m_pushed.clear();
}

std::size_t CheckPipeline::push(WalkedFile file) {
    // Files are handed to the workers a run at a time: the lock is taken once per run, and a
    // wake-up costs more than checking a small file.
    m_pushed.push_back(std::move(file));
    if (m_pushed.size() >= kWakeBatch) {
        flush();
    }
    return ++m_pending;
}

void CheckPipeline::flush() {
    {
        const std::lock_guard lock(m_mutex);
        handOver();
    }
    m_workAvailable.notify_all();
}

std::pair<WalkedFile, CheckPipeline::Result> CheckPipeline::pop() {
    if (m_taken.empty()) {
        takeResults();
    }
    std::pair<WalkedFile, Result> taken = std::move(m_taken.front());
    m_taken.pop_front();
    --m_pending;
    return taken;
}

void CheckPipeline::takeResults() {
    std::unique_lock lock(m_mutex);
    // The oldest file may still wait to be handed over.
    if (!m_pushed.empty()) {
        handOver();
        lock.unlock();
        m_workAvailable.notify_all();
        lock.lock();
    }
    // Rather than sleep until the oldest file is checked, this thread checks files no worker has
    // taken: the oldest itself when nobody took it, else the next ones. It sleeps only once every
    // file is taken, which saves a sleep and a wake-up per run of results. While reads wait for
    // the disk, it checks only the oldest: the workers keep the disk busy, and this thread would
    // only stand in a queue for it.
    Slot& front = m_slots.front();
    while (!front.done && m_claimed < m_slots.size() &&
           (m_claimed == 0 || !m_prefetching.load(std::memory_order_relaxed))) {
        Slot& slot = m_slots[m_claimed++];
        const std::vector<WalkedFile> ahead = takeFilesToPrefetch();
        lock.unlock();
        prefetch(ahead);
        Result result = checkSafely(slot.file, m_ownBuffer);
        lock.lock();
        slot.result = std::move(result);
        slot.done = true;
        ++m_doneWaiting;
    }
    m_slotDone.wait(lock, [&front] { return front.done; });
    // Every checked file from the front is taken at once.
    while (!m_slots.empty() && m_slots.front().done) {
        Slot& slot = m_slots.front();
        m_taken.emplace_back(std::move(slot.file), std::move(slot.result));
        m_slots.pop_front();
        --m_claimed;
        --m_doneWaiting;
        m_prefetchedEnd = std::max<std::size_t>(m_prefetchedEnd, 1) - 1;
    }
}

void CheckPipeline::noteRead(bool waitedForDisk) {
    if (!m_prefetch) {
        return;
    }
    if (!waitedForDisk) {
        std::size_t score = m_waitScore.load(std::memory_order_relaxed);
        while (score > 0 && !m_waitScore.compare_exchange_weak(score, score - 1)) {
        }
        return;
    }
    if (m_waitScore.fetch_add(kWaitWeight) + kWaitWeight >= kWaitScoreToStart) {
        m_waitScore = 0;
        m_cachedInARow = 0;
        m_prefetching = true;
    }
}

std::vector<WalkedFile> CheckPipeline::takeFilesToPrefetch() {
    std::vector<WalkedFile> files;
    if (!m_prefetching.load(std::memory_order_relaxed)) {
        return files;
    }
    const std::size_t end = std::min(m_slots.size(), m_claimed + kPrefetchDistance);
    for (std::size_t i = std::max(m_prefetchedEnd, m_claimed); i < end; ++i) {
        files.push_back(m_slots[i].file);
    }
    m_prefetchedEnd = std::max(m_prefetchedEnd, end);
    return files;
}

void CheckPipeline::prefetch(const std::vector<WalkedFile>& files) {
    for (const WalkedFile& file : files) {
        if (m_prefetch(file)) {
            m_cachedInARow = 0;
        } else if (++m_cachedInARow >= kCachedToStop) {
            m_prefetching = false;
        }
    }
}
