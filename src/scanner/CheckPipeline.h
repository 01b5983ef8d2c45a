#pragma once

#include "platform/ReadBuffer.h"
#include "scanner/FileCheck.h"
#include "scanner/FolderWalk.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

/// Checks files on worker threads ahead of the walk and hands the results back in the order the
/// files were pushed. While the oldest file is not checked yet, the thread that pops checks files
/// no worker has taken (the oldest itself when nobody took it), so it never idles behind a queue.
/// One thread pushes and pops. It hands files over and
/// takes results back a run at a time, and workers take a few files at once while many wait, so
/// that the threads meet at the lock once per run instead of once per file.
class CheckPipeline {
public:
    using Result = FileCheckResult;
    /// Checks one file; `buffer` belongs to the calling thread and is reused between calls.
    using Check = std::function<Result(const WalkedFile& file, platform::ReadBuffer& buffer)>;
    /// Starts reading a file into memory without waiting for it; true when its data was not
    /// there yet.
    using Prefetch = std::function<bool(const WalkedFile& file)>;

    CheckPipeline(unsigned workers, Check check, Prefetch prefetch = {});
    /// Abandons files not yet checked and joins the workers.
    ~CheckPipeline();
    CheckPipeline(const CheckPipeline&) = delete;
    CheckPipeline& operator=(const CheckPipeline&) = delete;

    /// Adds a file to check; returns how many files are pending, this one included.
    std::size_t push(WalkedFile file);
    /// Hands the files pushed so far to the workers and wakes them (at the end of the walk).
    void flush();
    /// Files pushed and not popped yet.
    std::size_t pending() const { return m_pending; }
    /// The oldest pushed file with its result, once it is checked.
    std::pair<WalkedFile, Result> pop();
    /// Tells whether a check's read had to wait for the disk. When reads keep waiting, the
    /// workers prefetch the files a little ahead of the ones they check, so that many reads are
    /// under way at once, until the files ahead turn out to be in memory already.
    void noteRead(bool waitedForDisk);

private:
    struct Slot {
        WalkedFile file;
        Result result;
        bool done = false;
    };
    void work();
    /// Moves the files pushed since the last hand-over to the slots; called with the lock held.
    void handOver();
    /// How many unclaimed slots a worker takes at once; called with the lock held.
    std::size_t claimSize() const;
    /// Waits for the oldest slot's result, checking slots no worker took meanwhile, and moves it,
    /// with every checked slot after it, to the results taken back.
    void takeResults();
    Result checkSafely(const WalkedFile& file, platform::ReadBuffer& buffer) const;
    /// Copies the files up to the prefetch distance past the claimed ones that were not
    /// prefetched yet; called with the lock held.
    std::vector<WalkedFile> takeFilesToPrefetch();
    void prefetch(const std::vector<WalkedFile>& files);

    Check m_check;
    Prefetch m_prefetch;
    std::atomic<bool> m_prefetching{false};
    std::atomic<std::size_t> m_waitScore{0}; // rises with reads that waited, falls with others
    std::atomic<std::size_t> m_cachedInARow{
        0}; // prefetched files found in memory one after another
    mutable std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_slotDone;
    std::deque<Slot> m_slots;  // references stay valid while slots are added and the front removed
    std::size_t m_claimed = 0; // slots from the front that a thread has taken
    std::size_t m_doneWaiting = 0;   // checked slots not yet popped
    std::size_t m_prefetchedEnd = 0; // slots from the front that were prefetched or claimed
    bool m_shutdown = false;
    // Only the thread that pushes and pops uses these.
    std::vector<WalkedFile> m_pushed;                  // not handed to the workers yet
    std::deque<std::pair<WalkedFile, Result>> m_taken; // results taken back, not popped yet
    std::size_t m_pending = 0;
    platform::ReadBuffer m_ownBuffer;
    std::vector<std::thread> m_workers;
};
