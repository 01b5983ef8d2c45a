#pragma once

#include "guard/GuardRecord.h"
#include "platform/AppendFile.h"
#include "platform/NativeHandle.h"

#include <atomic>
#include <chrono>
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

private:
    /// The writer thread: takes one record at a time off the queue and writes it out.
    void run();
    void writeText(const std::string& line);
    /// Waits until the text output has room; false when it was closed or, once the log is
    /// ending, stayed stuck past the time given.
    bool waitForText();
    void writeFile(const std::string& line);
    void openFile();
    /// Renames the file to PATH.1 and opens a new one.
    void rotateFile();
    /// Stops writing the file, keeps why, and says so on the text output.
    void giveUpFile(const std::string& problem);

    GuardLogOptions m_options;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<GuardRecord> m_queue;
    bool m_stopping = false; ///< under m_mutex: the log is ending, add() drops
    /// Set (with `m_giveUpAt`) when the log is ending: a stuck output is waited for until then.
    std::atomic<bool> m_ending{false};
    std::chrono::steady_clock::time_point m_giveUpAt;
    std::atomic<std::uint64_t> m_dropped{0};
    /// The writer thread's own: the text output took an error or its reader went away.
    bool m_textClosed = false;
    platform::AppendFile m_file;
    mutable std::mutex m_problemMutex;
    std::string m_fileProblem;
    /// Started last, once everything it uses exists.
    std::thread m_writer;
};
