#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

/// Where a running guard keeps its status, rewritten every second.
inline constexpr const char* kGuardStateFolder = "/run/kesto";
inline constexpr const char* kGuardStateFile = "guard.json";
/// A status older than this, or whose process is gone, belongs to a guard that is not running.
inline constexpr std::int64_t kGuardStaleNanoseconds = 5'000'000'000;

/// How many files the guard looked at, and what came of it.
struct GuardCounts {
    std::uint64_t checked = 0;     ///< programs and written files whose check ended
    std::uint64_t denied = 0;      ///< programs stopped before they ran
    std::uint64_t unchecked = 0;   ///< programs answered before their check ended, written files
                                   ///< passed over because the queue was full
    std::uint64_t detected = 0;    ///< listed files written
    std::uint64_t quarantined = 0; ///< of those, moved into the quarantine folder
    std::uint64_t dropped = 0;     ///< log records dropped because the log could not keep up
    std::uint64_t overflows = 0;   ///< times the system's event queue overflowed
    bool operator==(const GuardCounts&) const = default;
};

/// One listed file the guard met.
struct GuardDetection {
    std::int64_t timeNs = 0;
    std::string path;
    std::string threat;
    std::string action; ///< "denied", "reported", "quarantined", "not quarantined: REASON"
    std::int32_t pid = 0;
    std::string program;
    bool operator==(const GuardDetection&) const = default;
};

/// What the status file holds.
struct GuardStatus {
    std::int32_t pid = 0;
    std::int64_t startedNs = 0;
    std::int64_t updatedNs = 0;
    bool stopped = false; ///< written last by a guard that ended cleanly
    std::vector<std::string> watched;
    std::int64_t deadlineNs = 0;
    bool failClosed = false;
    std::string onDetection; ///< "report" or "quarantine"
    GuardCounts counts;
    std::vector<GuardDetection> recent; ///< the last ten at most, oldest first
    bool operator==(const GuardStatus&) const = default;
};

/// The status as the JSON document the status file holds.
std::string GuardStatusJson(const GuardStatus& status);
/// The status a status file's text holds; none when it is not one (the text is not trusted:
/// anything may be in it).
std::optional<GuardStatus> ParseGuardStatus(std::string_view text);

/// Writes the status file in `folder` (made 0755 when missing) as one atomic replacement, 0644.
std::error_code WriteGuardStatus(const std::string& folder, const GuardStatus& status);
/// Reads the status file in `folder`; none with `error` set when there is none or it cannot be
/// read or parsed.
std::optional<GuardStatus> ReadGuardStatus(const std::string& folder, std::error_code& error);

/// Whether the guard that wrote `status` runs at `nowNs`: it did not stop, wrote it lately, and
/// its process still exists (`processExists`, a seam for tests).
bool GuardRunning(const GuardStatus& status, std::int64_t nowNs,
                  const std::function<bool(std::int32_t pid)>& processExists);
/// `GuardRunning` by this computer's clock and processes.
bool GuardRunningNow(const GuardStatus& status);

/// The lines `kesto guard status` prints: running or not, since when, the counts, the last
/// detections. `status` is none when no guard ever wrote one.
std::vector<std::string> GuardStatusLines(const GuardStatus* status, bool running);

/// The one line the About window's engine group shows ("Guard: running since ..." or
/// "Guard: not running").
std::string GuardSummaryLine(const GuardStatus* status, bool running);
