#pragma once

#include "platform/NativeHandle.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace platform {

/// What a watched file was used for.
enum class AccessKind : std::uint8_t {
    /// About to be run as a program (or a script): the system waits for an answer. A script whose
    /// interpreter lies on a watched file system gives a second Exec for the interpreter once the
    /// script is allowed.
    Exec,
    /// Closed after it was opened for writing, whether anything was written or not, by any
    /// process (this one too); nothing waits. Closes of one file that follow each other before
    /// they are read may come as one event.
    Written,
    Overflow, ///< the system's queue overflowed and events were lost; no file
};

/// One use of a file on a watched file system.
struct AccessEvent {
    AccessKind kind = AccessKind::Exec;
    /// Open for reading on the file that was used; the receiver owns it and closes it with
    /// closeAccessFile, an Exec event only after it was answered. None for Overflow.
    NativeHandle file = kNoHandle;
    /// The process that used the file (its process id, whichever of its threads it was); 0 when
    /// the system cannot say.
    std::int32_t pid = 0;
};

/// Why access events cannot be had.
enum class AccessError {
    NeedsPrivilege = 1, ///< the system lets only a privileged process listen
    NoExecEvents,       ///< the system cannot ask before a program runs
    CannotWatch,        ///< the file system of a path cannot be watched
    Unsupported,        ///< this system has no such facility
};
const std::error_category& accessErrorCategory();
std::error_code make_error_code(AccessError e);

/// The uses of files on watched file systems, as the system reports them: Exec events are held
/// by the system until answered (allowed or denied); a listener that goes away allows everything
/// that still waits, and everything after. Whole file systems are watched, in every mount
/// namespace, whatever path they are reached by; the caller filters by path.
class AccessEvents {
public:
    virtual ~AccessEvents() = default;
    /// Watches the whole file system that holds `path` for programs about to run and for files
    /// closed after writing.
    virtual std::error_code watch(const std::string& path) = 0;
    /// Waits up to `timeoutMs` (negative: without end) for events, or for `wake`, and appends at
    /// most `max` of them to `events`. An interrupted wait returns without events and without
    /// error. One thread waits at a time.
    virtual std::error_code wait(std::vector<AccessEvent>& events, std::size_t max,
                                 int timeoutMs) = 0;
    /// Answers an Exec event: the program runs, or its start fails with "Operation not
    /// permitted". Safe to call from any thread.
    virtual std::error_code answer(const AccessEvent& event, bool allow) = 0;
    /// Makes a wait that is under way, or the next one, return at once. Safe from any thread.
    virtual void wake() = 0;
};

/// Starts listening to the system's access events (fanotify on Linux).
std::unique_ptr<AccessEvents> openAccessEvents(std::error_code& error);

/// Closes the file of an event.
void closeAccessFile(NativeHandle file);

/// The path the system gives for an open file (on Linux its /proc/self/fd link; a deleted file's
/// ends in " (deleted)"); empty when it gives none.
std::string openFilePath(NativeHandle file);

/// This process's id, as AccessEvent::pid gives it.
std::int32_t currentProcessId();

/// Lets the calling thread, the one that answers the events, run ahead of ordinary threads that
/// wait for a processor (a lower nice value for this thread alone, where the system allows it),
/// since every program waits for its answer. False when the system refused.
bool favourAnsweringThread();

} // namespace platform

template <> struct std::is_error_code_enum<platform::AccessError> : std::true_type {};
