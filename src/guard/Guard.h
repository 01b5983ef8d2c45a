#pragma once

#include "guard/GuardLog.h"
#include "guard/GuardTally.h"
#include "platform/AccessEvents.h"
#include "platform/InputFile.h"
#include "scanner/FileCheck.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

/// Checks one open file as a scan would; called on the guard's checking threads at once.
using GuardCheck = std::function<OpenFileVerdict(platform::InputFile& file, std::string_view name)>;
/// What acting on a listed written file came to.
struct GuardActionResult {
    bool done = false;
    /// Why it was not done; for a file that was, what could not be done beside (empty if all).
    std::string detail;
};
/// Acts on a listed file that was written (quarantines it).
using GuardAction = std::function<GuardActionResult(
    const std::string& path, const platform::FileStamp& stamp, const OpenFileVerdict& verdict)>;

/// Answers a file without reading it, quickly enough for the thread that answers the system:
/// one the check passes over unread, or one whose facts the verdict cache holds; none when the
/// file must be read.
using GuardQuickCheck = std::function<std::optional<OpenFileVerdict>(
    const platform::InputFile& file, std::string_view name)>;

struct GuardOptions {
    /// The folders whose files are checked, absolute, as the system names them (links resolved),
    /// without a final separator except the root's. Events of files elsewhere are allowed at once.
    std::vector<std::string> watched;
    /// How long a program may wait for its check; past it the program is answered without one.
    std::chrono::nanoseconds deadline = std::chrono::seconds(1);
    /// A program whose check did not end in time, or could not be made, is denied, not allowed.
    bool failClosed = false;
    /// Threads that check programs about to run.
    std::size_t checkers = 2;
    /// Programs waiting for a checking thread at most; past that, a program is answered at once
    /// as unchecked.
    std::size_t waitingLimit = 256;
    /// Written files waiting for their check at most; past that they are passed over (counted
    /// as unchecked).
    std::size_t writtenLimit = 256;
    /// Tried on the answering thread before a program goes to a checking thread; empty: only
    /// files the check would not read are answered there.
    GuardQuickCheck quickCheck;
    /// What is done with a listed written file; empty: it is reported only.
    GuardAction act;
    /// The signature sources beside the shipped database, whose wish to see a file decides, as
    /// the check's does, whether a file is checked at all; none for the shipped ones alone.
    const ExtraSignatures* extra = nullptr;
    /// Called about once a second on a thread of the guard's own (to write the status file, to
    /// let checks see a changed database); never on the thread that answers.
    std::function<void()> everySecond;
};

/// The real-time guard: answers the system's question whether a program on a watched path may
/// run, and checks files on watched paths after they were written.
///
/// One thread (the one in `run`) reads the events, answers at once what needs no check (the
/// guard's own uses, files elsewhere, files too large to examine) and hands the rest to a
/// bounded pool of checking threads; it also answers every program whose check did not end by
/// its deadline. Written files go to a thread of their own, so they never hold up a program.
/// No thread that answers ever waits for the log (a bounded queue that drops and counts) or for
/// a lock held during a check; each event's file is closed once it is answered and no check
/// reads it any more.
class Guard {
public:
    Guard(platform::AccessEvents& events, GuardOptions options, GuardCheck check, GuardLog& log,
          GuardTally& tally);
    /// Stops and joins every thread; a check that never ends keeps its thread (and this) waiting.
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

    /// Answers events until `stop`; every program still waiting is answered before it returns.
    /// Returns the error that ended the wait for events, if any.
    std::error_code run();
    /// Makes `run` return soon; safe from any thread and from a signal-watching thread.
    void stop();

private:
    struct Waiting; // a program that waits for its answer
    struct Written; // a written file that waits for its check

    void handle(platform::AccessEvent& event);
    void handleExec(platform::AccessEvent& event);
    void handleWritten(platform::AccessEvent& event);
    /// Answers a program once; false when it had been answered already.
    bool answer(Waiting& waiting, bool allow);
    /// Answers every program past its deadline; the time until the next deadline, in ms.
    int answerOverdue();
    void checkLoop();
    /// Answers a program by its check's verdict.
    void settle(Waiting& waiting, const OpenFileVerdict& verdict);
    void writtenLoop();
    void checkWritten(Written& written);
    void secondLoop();
    bool watched(std::string_view path) const;
    void record(GuardEvent event, const std::string& path, std::int32_t pid,
                std::string threat = {}, std::string detail = {});

    platform::AccessEvents& m_events;
    const GuardOptions m_options;
    const GuardCheck m_check;
    GuardLog& m_log;
    GuardTally& m_tally;
    const std::int32_t m_ownPid;

    std::atomic<bool> m_stopping{false};
    /// Programs not yet answered, or answered but still being checked, in the order they came:
    /// their deadlines come in the same order. Only the event thread touches it.
    std::deque<std::shared_ptr<Waiting>> m_waiting;

    std::mutex m_jobsMutex;
    std::condition_variable m_jobsReady;
    std::deque<std::shared_ptr<Waiting>> m_jobs;
    std::deque<std::unique_ptr<Written>> m_written;
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_writtenIds; // device, inode queued
    std::condition_variable m_writtenReady;

    std::mutex m_secondMutex;
    std::condition_variable m_secondWake;

    std::vector<std::thread> m_threads;
};
