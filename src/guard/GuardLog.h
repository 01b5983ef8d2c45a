#pragma once

#include "guard/GuardRecord.h"
#include "platform/NativeHandle.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

struct GuardLogOptions {
    /// Where text lines go (the journal takes the guard's standard error); none: nowhere.
    platform::NativeHandle textOutput = platform::kNoHandle;
    /// The JSON-lines log file; empty: none. Past `fileLimit` bytes it is renamed to PATH.1
    /// (replacing the one before) and started anew.
    std::string filePath;
    std::uint64_t fileLimit = 8ull << 20;
    /// Records waiting at most; past that, new ones are dropped and counted.
    std::size_t capacity = 1024;
};

/// The guard's log. Adding a record never waits: records go through a bounded queue to a thread
/// of the log's own that writes them out; when the queue is full (the journal or the disk is
/// slow, or stuck) new records are dropped and counted. Writing never holds up the queue's lock,
/// so a stuck output stalls nothing but the log.
class GuardLog {
public:
    explicit GuardLog(GuardLogOptions options);
    /// Writes what waits, giving up on an output that stays stuck for about a second.
    ~GuardLog();
    GuardLog(const GuardLog&) = delete;
    GuardLog& operator=(const GuardLog&) = delete;

    /// Queues the record, or drops it when the queue is full. Never waits for the output.
    void add(GuardRecord record);
    /// Records dropped so far.
    std::uint64_t dropped() const { return m_dropped.load(std::memory_order_relaxed); }
    /// A problem with the log file (it cannot be opened, a write failed), empty when none.
    std::string fileProblem() const;
};
