#include "platform/AccessEvents.h"

#include "platform/linux/FanotifyEvents.h"
#include "platform/linux/SystemCall.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

namespace {

using linux_calls::lastError;
using linux_calls::retryOnEintr;

constexpr std::uint64_t kWatchedEvents = FAN_OPEN_EXEC_PERM | FAN_CLOSE_WRITE;
// The most events one wait reads, whatever the caller asks: bounds the read buffer.
constexpr std::size_t kMostEventsPerRead = 4096;

/// Why a whole-file-system mark failed, as the caller can act on it.
std::error_code markError(int fanotify, int error) {
    switch (error) {
    case EINVAL: {
        // The kernel checks the mask before it looks at the path: a mark of nothing (no path,
        // no descriptor) fails for an unknown event first, and else for the missing file. So
        // the probe adds no mark, and a file system that refuses permission events (/proc) is
        // not mistaken for an old kernel.
        const int probe = ::fanotify_mark(fanotify, FAN_MARK_ADD | FAN_MARK_FILESYSTEM,
                                          FAN_OPEN_EXEC_PERM, -1, nullptr);
        if (probe != 0 && errno == EINVAL) {
            return AccessError::NoExecEvents;
        }
        return AccessError::CannotWatch;
    }
    case EXDEV:  // a subvolume with an identity of its own, that cannot be marked whole
    case ENODEV: // a file system without an identity
    case EOPNOTSUPP:
        return AccessError::CannotWatch;
    case EPERM:
        return AccessError::NeedsPrivilege;
    default:
        return {error, std::generic_category()};
    }
}

std::error_code initError(int error) {
    switch (error) {
    case EPERM:
        return AccessError::NeedsPrivilege;
    case EINVAL: // a kernel built without permission events refuses FAN_CLASS_CONTENT
        return AccessError::NoExecEvents;
    case ENOSYS:
        return AccessError::Unsupported;
    default:
        return {error, std::generic_category()};
    }
}

/// The fanotify group of this process. One thread waits; any thread answers and wakes.
class FanotifyAccessEvents final : public AccessEvents {
public:
    FanotifyAccessEvents(int fanotify, int wakeCounter)
        : m_fanotify(fanotify), m_wakeCounter(wakeCounter) {}
    /// Allows every request that still waits, and stops asking. Closing the descriptor alone
    /// would not do: the kernel allows everything only when the group's last reference goes, and
    /// a child forked while the group was open holds one until its exec goes through, which may
    /// itself be a request waiting here. So the marks go first (nothing new comes), then every
    /// request handed out without an answer and every one still queued is allowed.
    ~FanotifyAccessEvents() override {
        (void)::fanotify_mark(m_fanotify, FAN_MARK_FLUSH | FAN_MARK_FILESYSTEM, 0, AT_FDCWD, "/");
        for (const int fd : m_unanswered) {
            (void)respond(fd, FAN_ALLOW);
        }
        // Bounded, should the marks have stayed and events keep coming.
        std::vector<AccessEvent> queued;
        for (int round = 0; round < 16 && !read(queued, kMostEventsPerRead) && !queued.empty();
             ++round) {
            for (const AccessEvent& event : queued) {
                if (event.kind == AccessKind::Exec) {
                    (void)respond(event.file, FAN_ALLOW);
                }
                closeAccessFile(event.file);
            }
            queued.clear();
        }
        ::close(m_fanotify);
        ::close(m_wakeCounter);
    }
    FanotifyAccessEvents(const FanotifyAccessEvents&) = delete;
    FanotifyAccessEvents& operator=(const FanotifyAccessEvents&) = delete;

    std::error_code watch(const std::string& path) override {
        // A file system mark, not a mount mark: the guard runs as a service in a mount namespace
        // of its own (read-only copies of the system's mounts), and a mount mark there would
        // only see the accesses made through the service's private copies. A file system mark
        // sees every access to the file system, from every namespace and through every mount.
        if (::fanotify_mark(m_fanotify, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kWatchedEvents,
                            AT_FDCWD, path.c_str()) == 0) {
            return {};
        }
        return markError(m_fanotify, errno);
    }

    std::error_code wait(std::vector<AccessEvent>& events, std::size_t max,
                         int timeoutMs) override {
        pollfd ready[2] = {{m_fanotify, POLLIN, 0}, {m_wakeCounter, POLLIN, 0}};
        if (::poll(ready, 2, timeoutMs < 0 ? -1 : timeoutMs) < 0) {
            return errno == EINTR ? std::error_code() : lastError();
        }
        if ((ready[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            // Resets the counter; a wake that comes in between is kept for the next wait.
            (void)retryOnEintr([&] { return ::read(m_wakeCounter, &count, sizeof count); });
        }
        if ((ready[0].revents & (POLLERR | POLLNVAL)) != 0) {
            return std::make_error_code(std::errc::io_error);
        }
        if ((ready[0].revents & POLLIN) == 0 || max == 0) {
            return {};
        }
        return read(events, std::min(max, kMostEventsPerRead));
    }

    /// A response is one write of 8 bytes, which the kernel takes whole, so answers from several
    /// threads never mix; the lock guards only the list of requests not yet answered.
    std::error_code answer(const AccessEvent& event, bool allow) override {
        if (event.kind != AccessKind::Exec || event.file < 0) {
            return std::make_error_code(std::errc::invalid_argument);
        }
        {
            const std::lock_guard lock(m_unansweredLock);
            const auto found = std::find(m_unanswered.begin(), m_unanswered.end(), event.file);
            if (found != m_unanswered.end()) {
                *found = m_unanswered.back();
                m_unanswered.pop_back();
            }
        }
        return respond(event.file, allow ? FAN_ALLOW : FAN_DENY);
    }

    void wake() override {
        const std::uint64_t one = 1;
        // Fails only when the counter is full, and then a wake is pending anyway.
        (void)retryOnEintr([&] { return ::write(m_wakeCounter, &one, sizeof one); });
    }

private:
    std::error_code read(std::vector<AccessEvent>& events, std::size_t max) {
        // Records without extra information are FAN_EVENT_METADATA_LEN long, and the kernel
        // hands over only whole records: this reads at most `max` of them.
        m_buffer.resize(max * FAN_EVENT_METADATA_LEN);
        const ssize_t got = ::read(m_fanotify, m_buffer.data(), m_buffer.size());
        if (got < 0) {
            return errno == EINTR || errno == EAGAIN ? std::error_code() : lastError();
        }
        m_stray.clear();
        const std::size_t first = events.size();
        parseFanotifyEvents(m_buffer.data(), static_cast<std::size_t>(got), events, m_stray);
        {
            const std::lock_guard lock(m_unansweredLock);
            for (std::size_t i = first; i < events.size(); ++i) {
                if (events[i].kind == AccessKind::Exec) {
                    m_unanswered.push_back(events[i].file);
                }
            }
        }
        for (const StrayFanotifyFile& file : m_stray) {
            if (file.held) {
                (void)respond(file.fd, FAN_ALLOW);
            }
            ::close(file.fd);
        }
        return {};
    }

    std::error_code respond(int fd, std::uint32_t response) {
        const fanotify_response reply{fd, response};
        const ssize_t written =
            retryOnEintr([&] { return ::write(m_fanotify, &reply, sizeof reply); });
        if (written < 0) {
            return lastError();
        }
        return written == sizeof reply ? std::error_code()
                                       : std::make_error_code(std::errc::io_error);
    }

    int m_fanotify;
    int m_wakeCounter; // an eventfd: wake() adds to it, wait() reads it back to zero
    std::vector<unsigned char> m_buffer;
    std::vector<StrayFanotifyFile> m_stray;
    // The descriptors of the Exec events handed out and not yet answered, which the destructor
    // allows. Few at a time: the guard answers each as soon as it has checked the program.
    std::mutex m_unansweredLock;
    std::vector<int> m_unanswered;
};

} // namespace

std::unique_ptr<AccessEvents> openAccessEvents(std::error_code& error) {
    // Content class: permission requests. No unlimited queue, so that a listener that falls
    // behind learns of it (FAN_Q_OVERFLOW) instead of letting the kernel's memory grow. The
    // files come open for reading only and leave their access time alone; the kernel opens them
    // for the listener without the owner check O_NOATIME has elsewhere.
    const int fanotify = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK,
                                         O_RDONLY | O_LARGEFILE | O_CLOEXEC | O_NOATIME);
    if (fanotify < 0) {
        error = initError(errno);
        return nullptr;
    }
    const int wakeCounter = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeCounter < 0) {
        error = lastError();
        ::close(fanotify);
        return nullptr;
    }
    error.clear();
    return std::make_unique<FanotifyAccessEvents>(fanotify, wakeCounter);
}

void closeAccessFile(NativeHandle file) {
    if (file >= 0) {
        ::close(file);
    }
}

std::string openFilePath(NativeHandle file) {
    if (file < 0) {
        return {};
    }
    const std::string link = "/proc/self/fd/" + std::to_string(file);
    std::string path(PATH_MAX, '\0');
    for (;;) {
        const ssize_t length = ::readlink(link.c_str(), path.data(), path.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            return path;
        }
        if (path.size() >= 4 * PATH_MAX) {
            return {};
        }
        path.resize(path.size() * 2);
    }
}

bool favourAnsweringThread() {
    // Nice values belong to each thread on Linux; -10 is well ahead of ordinary programs (0)
    // without taking the processor from the system's own urgent work.
    constexpr int kAnsweringNice = -10;
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kAnsweringNice) == 0;
}

std::int32_t currentProcessId() {
    return static_cast<std::int32_t>(::getpid());
}

} // namespace platform
