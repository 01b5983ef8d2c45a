#include "guard/GuardTime.h"

#include <chrono>
#include <cstdio>

namespace {

struct UtcParts {
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
    long long hour = 0;
    long long minute = 0;
    long long second = 0;
    long long micros = 0;
};

UtcParts utcParts(std::int64_t ns) {
    using namespace std::chrono;
    const sys_time<nanoseconds> time{nanoseconds(ns)};
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const nanoseconds sinceMidnight = time - day;
    UtcParts parts;
    parts.year = static_cast<int>(date.year());
    parts.month = static_cast<unsigned>(date.month());
    parts.day = static_cast<unsigned>(date.day());
    parts.hour = duration_cast<hours>(sinceMidnight).count();
    parts.minute = duration_cast<minutes>(sinceMidnight).count() % 60;
    parts.second = duration_cast<seconds>(sinceMidnight).count() % 60;
    parts.micros = duration_cast<microseconds>(sinceMidnight).count() % 1'000'000;
    return parts;
}

} // namespace

std::string GuardIsoTime(std::int64_t ns) {
    const UtcParts t = utcParts(ns);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%06lldZ", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.micros);
    return text;
}

std::string GuardUtcTime(std::int64_t ns) {
    const UtcParts t = utcParts(ns);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld:%02lld UTC", t.year, t.month,
                  t.day, t.hour, t.minute, t.second);
    return text;
}
