#include "guard/Guard.h"

#include "platform/PathText.h"
#include "platform/Processes.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// Events read from the system at once; each holds an open file until it is handled.
constexpr std::size_t kBatch = 64;
// The longest wait for events, so that a stop is seen even without a wake.
constexpr int kLongestWaitMs = 1000;

constexpr std::string_view kDeletedSuffix = " (deleted)";

std::int64_t wallClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

/// The name of a file in its folder, from the path the system gives for it.
std::string_view nameOf(std::string_view path) {
    if (path.ends_with(kDeletedSuffix)) {
        path.remove_suffix(kDeletedSuffix.size());
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

/// The name of the program a process runs, for the log; empty when it is gone.
std::string programOf(std::int32_t pid) {
    return pid > 0 ? std::string(nameOf(platform::processPath(pid))) : std::string();
}

} // namespace

struct Guard::Waiting {
    platform::AccessEvent event;
    platform::InputFile file; ///< the event's file; closed when the last holder lets go
    std::string path;
    Clock::time_point deadline;
    std::atomic<bool> answered{false};

    ~Waiting() {
        // The file was adopted by `file` unless adopting it failed, which closed it.
        event.file = platform::kNoHandle;
    }
};

struct Guard::Written {
    platform::InputFile file;
    std::string path;
    std::int32_t pid = 0;
};

Guard::Guard(platform::AccessEvents& events, GuardOptions options, GuardCheck check, GuardLog& log,
             GuardTally& tally)
    : m_events(events), m_options(std::move(options)), m_check(std::move(check)), m_log(log),
      m_tally(tally), m_ownPid(platform::currentProcessId()) {
    for (std::size_t i = 0; i < std::max<std::size_t>(m_options.checkers, 1); ++i) {
        m_threads.emplace_back([this] { checkLoop(); });
    }
    m_threads.emplace_back([this] { writtenLoop(); });
    m_threads.emplace_back([this] { secondLoop(); });
}

Guard::~Guard() {
    stop();
    {
        const std::lock_guard lock(m_jobsMutex);
        m_jobsReady.notify_all();
        m_writtenReady.notify_all();
    }
    {
        const std::lock_guard lock(m_secondMutex);
        m_secondWake.notify_all();
    }
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

void Guard::stop() {
    m_stopping.store(true, std::memory_order_release);
    m_events.wake();
}

std::error_code Guard::run() {
    // Every program waits for this thread; it runs ahead of ordinary work where the system lets
    // it (root may), and the checks and the log keep the ordinary priority.
    platform::favourAnsweringThread();
    std::vector<platform::AccessEvent> events;
    events.reserve(kBatch);
    std::error_code failure;
    while (!m_stopping.load(std::memory_order_acquire)) {
        const int timeout = answerOverdue();
        events.clear();
        if (const std::error_code error = m_events.wait(events, kBatch, timeout)) {
            failure = error;
            break;
        }
        for (platform::AccessEvent& event : events) {
            handle(event);
        }
    }
    // Nothing that waits is left waiting: the system would allow it once the guard is gone
    // anyway, but not before the guard's descriptor is closed.
    for (const std::shared_ptr<Waiting>& waiting : m_waiting) {
        answer(*waiting, true);
    }
    m_waiting.clear();
    {
        const std::lock_guard lock(m_jobsMutex);
        m_jobs.clear();
    }
    return failure;
}

void Guard::handle(platform::AccessEvent& event) {
    switch (event.kind) {
    case platform::AccessKind::Overflow:
        m_tally.addOverflow();
        record(GuardEvent::Overflow, {}, 0, {},
               "the system's event queue overflowed: uses of files went unseen");
        return;
    case platform::AccessKind::Exec:
        handleExec(event);
        return;
    case platform::AccessKind::Written:
        handleWritten(event);
        return;
    }
}

void Guard::handleExec(platform::AccessEvent& event) {
    auto waiting = std::make_shared<Waiting>();
    waiting->event = event;
    // The guard's own uses, and those it cannot tell the process of, are allowed at once.
    if (event.pid == m_ownPid || event.pid <= 0) {
        answer(*waiting, true);
        platform::closeAccessFile(event.file);
        return;
    }
    waiting->path = platform::openFilePath(event.file);
    if (!watched(waiting->path)) {
        answer(*waiting, true);
        platform::closeAccessFile(event.file);
        return;
    }
    if (waiting->file.adopt(event.file)) {
        // Not a regular file: nothing a scan would examine. Its descriptor is closed already,
        // and no other event was read since, so its number still names this event only.
        answer(*waiting, true);
        return;
    }
    const std::string_view name = nameOf(waiting->path);
    if (m_options.quickCheck) {
        if (const auto verdict = m_options.quickCheck(waiting->file, name)) {
            settle(*waiting, *verdict);
            return;
        }
    } else if (!ExaminedByCheck(name, waiting->file.stamp().size, m_options.extra)) {
        settle(*waiting, OpenFileVerdict{});
        return;
    }
    const bool full = m_waiting.size() >= m_options.waitingLimit;
    if (full) {
        answer(*waiting, !m_options.failClosed);
        m_tally.addUnchecked();
        record(GuardEvent::Unchecked, waiting->path, event.pid, {},
               m_options.failClosed ? "denied: too many programs waiting for their check"
                                    : "too many programs waiting for their check");
        return;
    }
    waiting->deadline = Clock::now() + m_options.deadline;
    m_waiting.push_back(waiting);
    {
        const std::lock_guard lock(m_jobsMutex);
        m_jobs.push_back(std::move(waiting));
    }
    m_jobsReady.notify_one();
}

void Guard::handleWritten(platform::AccessEvent& event) {
    if (event.pid == m_ownPid) {
        platform::closeAccessFile(event.file);
        return;
    }
    auto written = std::make_unique<Written>();
    written->path = platform::openFilePath(event.file);
    written->pid = event.pid;
    if (!watched(written->path)) {
        platform::closeAccessFile(event.file);
        return;
    }
    if (written->file.adopt(event.file)) {
        return; // not a regular file (closed by the refusal): nothing a scan would examine
    }
    const platform::FileStamp stamp = written->file.stamp();
    if (!ExaminedByCheck(nameOf(written->path), stamp.size, m_options.extra)) {
        m_tally.addChecked();
        return;
    }
    {
        const std::lock_guard lock(m_jobsMutex);
        // A file written in many pieces is checked once for all of them that wait.
        if (!m_writtenIds.insert({stamp.device, stamp.inode}).second) {
            return;
        }
        if (m_written.size() < m_options.writtenLimit) {
            m_written.push_back(std::move(written));
            m_writtenReady.notify_one();
            return;
        }
        m_writtenIds.erase({stamp.device, stamp.inode});
    }
    m_tally.addUnchecked();
    record(GuardEvent::Unchecked, written->path, written->pid, {},
           "too many written files waiting for their check");
}

bool Guard::answer(Waiting& waiting, bool allow) {
    if (waiting.answered.exchange(true, std::memory_order_acq_rel)) {
        return false;
    }
    if (const std::error_code error = m_events.answer(waiting.event, allow)) {
        record(GuardEvent::Error, waiting.path, waiting.event.pid, {},
               "cannot answer the system: " + error.message());
    }
    return true;
}

int Guard::answerOverdue() {
    const Clock::time_point now = Clock::now();
    while (!m_waiting.empty()) {
        Waiting& first = *m_waiting.front();
        if (!first.answered.load(std::memory_order_acquire) && first.deadline > now) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(first.deadline - now).count();
            return static_cast<int>(std::min<std::int64_t>(left, kLongestWaitMs));
        }
        if (answer(first, !m_options.failClosed)) {
            m_tally.addUnchecked();
            record(GuardEvent::Unchecked, first.path, first.event.pid, {},
                   m_options.failClosed ? "denied: its check did not end in time"
                                        : "its check did not end in time");
        }
        m_waiting.pop_front();
    }
    return kLongestWaitMs;
}

void Guard::checkLoop() {
    for (;;) {
        std::shared_ptr<Waiting> waiting;
        {
            std::unique_lock lock(m_jobsMutex);
            m_jobsReady.wait(lock, [this] {
                return !m_jobs.empty() || m_stopping.load(std::memory_order_acquire);
            });
            if (m_jobs.empty()) {
                return;
            }
            waiting = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        if (!waiting->answered.load(std::memory_order_acquire)) {
            settle(*waiting, m_check(waiting->file, nameOf(waiting->path)));
        }
    }
}

void Guard::settle(Waiting& waiting, const OpenFileVerdict& verdict) {
    const std::int32_t pid = waiting.event.pid;
    if (!verdict.threat.empty()) {
        if (answer(waiting, false)) {
            m_tally.addChecked();
            m_tally.addDenied();
            m_tally.addDetection(
                {wallClockNs(), waiting.path, verdict.threat, "denied", pid, programOf(pid)});
            record(GuardEvent::Denied, waiting.path, pid, verdict.threat);
        } else {
            // Its deadline passed first: the program ran (or was denied unchecked).
            m_tally.addDetection(
                {wallClockNs(), waiting.path, verdict.threat, "reported", pid, programOf(pid)});
            record(GuardEvent::Detected, waiting.path, pid, verdict.threat,
                   "listed, but answered before its check ended");
        }
        return;
    }
    const std::string& problem =
        verdict.unreadable.empty() ? verdict.lookupFailure : verdict.unreadable;
    if (!problem.empty()) {
        if (answer(waiting, !m_options.failClosed)) {
            m_tally.addUnchecked();
            record(GuardEvent::Unchecked, waiting.path, pid, {},
                   (m_options.failClosed ? "denied: cannot check it: " : "cannot check it: ") +
                       problem);
        }
        return;
    }
    if (answer(waiting, true)) {
        m_tally.addChecked();
    }
}

void Guard::writtenLoop() {
    for (;;) {
        std::unique_ptr<Written> written;
        {
            std::unique_lock lock(m_jobsMutex);
            m_writtenReady.wait(lock, [this] {
                return !m_written.empty() || m_stopping.load(std::memory_order_acquire);
            });
            if (m_written.empty()) {
                return;
            }
            written = std::move(m_written.front());
            m_written.pop_front();
            const platform::FileStamp& stamp = written->file.stamp();
            m_writtenIds.erase({stamp.device, stamp.inode});
        }
        checkWritten(*written);
    }
}

void Guard::checkWritten(Written& written) {
    const OpenFileVerdict verdict = m_check(written.file, nameOf(written.path));
    const platform::FileStamp stamp = written.file.stamp();
    written.file.close();
    m_tally.addChecked();
    if (verdict.threat.empty()) {
        if (!verdict.unreadable.empty()) {
            record(GuardEvent::Error, written.path, written.pid, {},
                   "cannot read it: " + verdict.unreadable);
        }
        return;
    }
    GuardDetection detection{wallClockNs(), written.path, verdict.threat,
                             "reported",    written.pid,  programOf(written.pid)};
    if (!m_options.act) {
        record(GuardEvent::Detected, written.path, written.pid, verdict.threat);
    } else if (const GuardActionResult result = m_options.act(written.path, stamp, verdict);
               result.done) {
        detection.action = "quarantined";
        record(GuardEvent::Quarantined, written.path, written.pid, verdict.threat, result.detail);
    } else {
        detection.action = "not quarantined: " + result.detail;
        record(GuardEvent::ActionFailed, written.path, written.pid, verdict.threat, result.detail);
    }
    m_tally.addDetection(std::move(detection));
}

void Guard::secondLoop() {
    std::unique_lock lock(m_secondMutex);
    while (!m_stopping.load(std::memory_order_acquire)) {
        m_secondWake.wait_for(lock, std::chrono::seconds(1));
        if (m_options.everySecond && !m_stopping.load(std::memory_order_acquire)) {
            lock.unlock();
            m_options.everySecond();
            lock.lock();
        }
    }
}

bool Guard::watched(std::string_view path) const {
    if (path.ends_with(kDeletedSuffix)) {
        path.remove_suffix(kDeletedSuffix.size());
    }
    return std::any_of(
        m_options.watched.begin(), m_options.watched.end(),
        [path](const std::string& folder) { return platform::isWithinFolder(path, folder); });
}

void Guard::record(GuardEvent event, const std::string& path, std::int32_t pid, std::string threat,
                   std::string detail) {
    GuardRecord record;
    record.timeNs = wallClockNs();
    record.event = event;
    record.path = path;
    record.pid = pid;
    record.threat = std::move(threat);
    record.detail = std::move(detail);
    if (event == GuardEvent::Denied || event == GuardEvent::Detected ||
        event == GuardEvent::Quarantined || event == GuardEvent::ActionFailed) {
        record.program = programOf(pid);
    }
    m_log.add(std::move(record));
}
