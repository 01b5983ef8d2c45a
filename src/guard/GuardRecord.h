#pragma once

#include <cstdint>
#include <string>

/// What a guard record tells.
enum class GuardEvent : std::uint8_t {
    Started,      ///< the guard watches; detail: the watched paths
    Stopped,      ///< the guard ended; every event that waited was answered
    Denied,       ///< a listed program was stopped before it ran
    Detected,     ///< a listed file was written (reported only)
    Quarantined,  ///< a listed written file was moved into the quarantine folder
    ActionFailed, ///< a listed written file could not be quarantined; detail: why
    Unchecked,    ///< a program ran (or was stopped with fail-closed) before its check ended
    Overflow,     ///< the system's event queue overflowed: uses of files went unseen
    Error,        ///< something failed; detail: what
};

/// One line of the guard's log.
struct GuardRecord {
    std::int64_t timeNs = 0; ///< when it happened, nanoseconds since 1970
    GuardEvent event = GuardEvent::Error;
    std::string path;     ///< the file, when there is one
    std::string threat;   ///< its listed name, for a detection
    std::int32_t pid = 0; ///< the process that used the file; 0 when unknown
    std::string program;  ///< that process's name, when known
    std::string detail;   ///< why, or what else there is to say
};

/// The record's name in the log ("denied", "quarantined", ...).
const char* GuardEventName(GuardEvent event);

/// The record as one JSON object on one line, without its line end: "time" (UTC, ISO 8601 with
/// microseconds), "event", and the other fields that are set. Bytes that are not UTF-8 do not
/// make the line invalid.
std::string GuardRecordJson(const GuardRecord& record);

/// The record as one line of text for the system journal, without time (the journal adds it).
std::string GuardRecordText(const GuardRecord& record);
