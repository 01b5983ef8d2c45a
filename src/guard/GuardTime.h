#pragma once

#include <cstdint>
#include <string>

/// A time in nanoseconds since 1970 as the log's JSON writes it, in UTC with microseconds:
/// "2026-12-10T11:23:59.123456Z".
std::string GuardIsoTime(std::int64_t ns);

/// The same time as people read it, to the second: "2026-12-10 11:23:59 UTC". Always UTC, so
/// that what one computer prints reads the same on another.
std::string GuardUtcTime(std::int64_t ns);
