#include "guard/GuardStatus.h"

#include "guard/GuardTime.h"
#include "platform/AtomicFile.h"
#include "platform/FileOps.h"
#include "platform/FolderHandle.h"
#include "platform/InputFile.h"
#include "platform/Processes.h"
#include "platform/ProgramFolder.h"
#include "scanner/PrintableName.h"

#include <cstdio>
#include <exception>
#include <nlohmann/json.hpp>
#include <utility>

namespace {

using Json = nlohmann::json;

/// A status file is a few kilobytes; anything this large is not one.
constexpr std::uint64_t kStatusLimit = 1 << 20;
/// What a status read from a file keeps at most: the watched paths, and the last detections.
constexpr std::size_t kWatchedKept = 256;
constexpr std::size_t kRecentKept = 10;

/// Why a status file was not taken: its text is no status.
class StatusErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "guard status"; }
    std::string message(int) const override { return "not a guard status file"; }
};

std::error_code notAStatus() {
    static const StatusErrorCategory category;
    return {1, category};
}

/// Reads the members of one JSON object into fields of their own type. A member that is missing
/// keeps the field's value (or fails when it is required); one of another type, or a number out
/// of the field's range, fails.
class Members {
public:
    explicit Members(const Json& object) : m_object(object) {}

    bool ok() const { return m_ok; }

    template <class Int> void integer(const char* key, Int& field, bool required = false) {
        const Json* value = find(key, required);
        if (value == nullptr) {
            return;
        }
        if (value->is_number_unsigned()) {
            const auto number = value->get<std::uint64_t>();
            m_ok = m_ok && std::in_range<Int>(number);
            field = static_cast<Int>(number);
        } else if (value->is_number_integer()) {
            const auto number = value->get<std::int64_t>();
            m_ok = m_ok && std::in_range<Int>(number);
            field = static_cast<Int>(number);
        } else {
            m_ok = false;
        }
    }

    void boolean(const char* key, bool& field) {
        if (const Json* value = find(key, false)) {
            m_ok = m_ok && value->is_boolean();
            field = value->is_boolean() && value->get<bool>();
        }
    }

    void text(const char* key, std::string& field) {
        if (const Json* value = find(key, false)) {
            if (value->is_string()) {
                field = value->get<std::string>();
            } else {
                m_ok = false;
            }
        }
    }

    /// The member `key` when it is an array; nullptr when it is missing (or not an array, which
    /// fails).
    const Json* array(const char* key) {
        const Json* value = find(key, false);
        if (value != nullptr && !value->is_array()) {
            m_ok = false;
            return nullptr;
        }
        return value;
    }

    /// The member `key` when it is an object, as `array` does.
    const Json* object(const char* key) {
        const Json* value = find(key, false);
        if (value != nullptr && !value->is_object()) {
            m_ok = false;
            return nullptr;
        }
        return value;
    }

private:
    const Json* find(const char* key, bool required) {
        const auto found = m_object.find(key);
        if (found == m_object.end()) {
            m_ok = m_ok && !required;
            return nullptr;
        }
        return &*found;
    }

    const Json& m_object;
    bool m_ok = true;
};

bool readCounts(const Json& object, GuardCounts& counts) {
    Members members(object);
    members.integer("checked", counts.checked);
    members.integer("denied", counts.denied);
    members.integer("unchecked", counts.unchecked);
    members.integer("detected", counts.detected);
    members.integer("quarantined", counts.quarantined);
    members.integer("dropped", counts.dropped);
    members.integer("overflows", counts.overflows);
    return members.ok();
}

bool readDetection(const Json& object, GuardDetection& detection) {
    if (!object.is_object()) {
        return false;
    }
    Members members(object);
    members.integer("timeNs", detection.timeNs);
    members.text("path", detection.path);
    members.text("threat", detection.threat);
    members.text("action", detection.action);
    members.integer("pid", detection.pid);
    members.text("program", detection.program);
    return members.ok();
}

std::optional<GuardStatus> readStatus(const Json& document) {
    if (!document.is_object()) {
        return std::nullopt;
    }
    GuardStatus status;
    Members members(document);
    members.integer("pid", status.pid, true);
    members.integer("startedNs", status.startedNs, true);
    members.integer("updatedNs", status.updatedNs, true);
    members.boolean("stopped", status.stopped);
    members.integer("deadlineNs", status.deadlineNs);
    members.boolean("failClosed", status.failClosed);
    members.text("onDetection", status.onDetection);
    if (const Json* watched = members.array("watched")) {
        // A guard watches a few paths; past the first ones only the length of the list is
        // anyone's guess, and none of it is kept.
        const std::size_t kept = std::min(watched->size(), kWatchedKept);
        for (std::size_t i = 0; i < kept; ++i) {
            const Json& path = (*watched)[i];
            if (!path.is_string()) {
                return std::nullopt;
            }
            status.watched.push_back(path.get<std::string>());
        }
    }
    if (const Json* counts = members.object("counts")) {
        if (!readCounts(*counts, status.counts)) {
            return std::nullopt;
        }
    }
    if (const Json* recent = members.array("recent")) {
        // The last ones, oldest first, as the guard keeps them.
        const std::size_t skipped = recent->size() - std::min(recent->size(), kRecentKept);
        for (std::size_t i = skipped; i < recent->size(); ++i) {
            GuardDetection detection;
            if (!readDetection((*recent)[i], detection)) {
                return std::nullopt;
            }
            status.recent.push_back(std::move(detection));
        }
    }
    if (!members.ok() || status.pid <= 0) {
        return std::nullopt;
    }
    return status;
}

/// Nanoseconds as seconds, with as many decimals as they need (at most three): "5 s", "2.5 s".
std::string secondsText(std::int64_t ns) {
    char text[48];
    if (ns % 1'000'000'000 == 0) {
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(ns / 1'000'000'000));
        return text;
    }
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(ns) / 1e9);
    std::string seconds = text;
    while (seconds.back() == '0') {
        seconds.pop_back();
    }
    if (seconds.back() == '.') {
        seconds.pop_back();
    }
    return seconds + " s";
}

std::string stateLine(const GuardStatus* status, bool running) {
    if (status == nullptr) {
        return "Guard: not running";
    }
    const std::string pid = std::to_string(status->pid);
    if (running) {
        return "Guard: running (pid " + pid + ") since " + GuardUtcTime(status->startedNs);
    }
    if (status->stopped) {
        return "Guard: not running (stopped at " + GuardUtcTime(status->updatedNs) + ")";
    }
    return "Guard: not running (last seen " + GuardUtcTime(status->updatedNs) + ", pid " + pid +
           ")";
}

std::string detectionLine(const GuardDetection& detection) {
    std::string action = PrintableName(detection.action);
    if (action.size() < 12) {
        action.resize(12, ' ');
    }
    std::string line = "  " + GuardUtcTime(detection.timeNs) + "  " + action + "  " +
                       PrintableName(detection.path) + "  " + PrintableName(detection.threat);
    if (detection.pid != 0) {
        line.append("  (pid ").append(std::to_string(detection.pid));
        if (!detection.program.empty()) {
            line.append(", ").append(PrintableName(detection.program));
        }
        line.append(")");
    }
    return line;
}

} // namespace

std::string GuardStatusJson(const GuardStatus& status) {
    nlohmann::ordered_json document;
    document["pid"] = status.pid;
    document["startedNs"] = status.startedNs;
    document["updatedNs"] = status.updatedNs;
    document["stopped"] = status.stopped;
    document["watched"] = status.watched;
    document["deadlineNs"] = status.deadlineNs;
    document["failClosed"] = status.failClosed;
    document["onDetection"] = status.onDetection;
    const GuardCounts& counts = status.counts;
    document["counts"] = {{"checked", counts.checked},         {"denied", counts.denied},
                          {"unchecked", counts.unchecked},     {"detected", counts.detected},
                          {"quarantined", counts.quarantined}, {"dropped", counts.dropped},
                          {"overflows", counts.overflows}};
    document["recent"] = nlohmann::ordered_json::array();
    for (const GuardDetection& detection : status.recent) {
        document["recent"].push_back({{"timeNs", detection.timeNs},
                                      {"path", detection.path},
                                      {"threat", detection.threat},
                                      {"action", detection.action},
                                      {"pid", detection.pid},
                                      {"program", detection.program}});
    }
    // A name that is not UTF-8 is written with U+FFFD in place of its stray bytes rather than
    // failing the whole status.
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::optional<GuardStatus> ParseGuardStatus(std::string_view text) {
    try {
        const Json document = Json::parse(text, nullptr, false);
        if (document.is_discarded()) {
            return std::nullopt;
        }
        return readStatus(document);
    } catch (const std::exception&) {
        // Out of memory on a hostile text is no status either.
        return std::nullopt;
    }
}

std::error_code WriteGuardStatus(const std::string& folder, const GuardStatus& status) {
    if (const std::error_code error = platform::createFolder(folder, 0755)) {
        return error;
    }
    platform::FolderHandle handle;
    if (const std::error_code error = handle.openPath(folder)) {
        return error;
    }
    return platform::replaceFileIn(handle, kGuardStateFile, GuardStatusJson(status), 0644);
}

std::optional<GuardStatus> ReadGuardStatus(const std::string& folder, std::error_code& error) {
    const std::string path = folder + platform::kPathSeparator + kGuardStateFile;
    std::string text;
    error = platform::readWholeFile(path, text, platform::Follow::NoSymlinks, kStatusLimit);
    if (error) {
        return std::nullopt;
    }
    std::optional<GuardStatus> status = ParseGuardStatus(text);
    if (!status) {
        error = notAStatus();
    }
    return status;
}

bool GuardRunning(const GuardStatus& status, std::int64_t nowNs,
                  const std::function<bool(std::int32_t pid)>& processExists) {
    if (status.stopped) {
        return false;
    }
    // How far apart the two times are, either way (a clock set back leaves the status ahead of
    // it); computed unsigned, so that no time read from a file can overflow it.
    const auto now = static_cast<std::uint64_t>(nowNs);
    const auto updated = static_cast<std::uint64_t>(status.updatedNs);
    const std::uint64_t apart = status.updatedNs > nowNs ? updated - now : now - updated;
    return apart <= static_cast<std::uint64_t>(kGuardStaleNanoseconds) && processExists(status.pid);
}

bool GuardRunningNow(const GuardStatus& status) {
    return GuardRunning(status, platform::wallClockNs(), platform::processExists);
}

std::vector<std::string> GuardStatusLines(const GuardStatus* status, bool running) {
    std::vector<std::string> lines{stateLine(status, running)};
    if (status == nullptr) {
        lines.emplace_back("No guard has run on this computer since it started.");
        return lines;
    }
    std::string watched;
    for (const std::string& path : status->watched) {
        watched.append(watched.empty() ? "" : ", ").append(PrintableName(path));
    }
    lines.push_back("Watching: " + (watched.empty() ? std::string("nothing") : watched));
    std::string settings = "Exec deadline: " + secondsText(status->deadlineNs) +
                           (status->failClosed ? " (then denied)" : " (then allowed)");
    if (!status->onDetection.empty()) {
        settings.append("  On detection: ").append(PrintableName(status->onDetection));
    }
    lines.push_back(settings);
    const GuardCounts& counts = status->counts;
    lines.push_back("Checked: " + std::to_string(counts.checked) +
                    "  Denied: " + std::to_string(counts.denied) +
                    "  Unchecked: " + std::to_string(counts.unchecked) +
                    "  Written files listed: " + std::to_string(counts.detected) +
                    " (quarantined " + std::to_string(counts.quarantined) + ")");
    lines.push_back("Log records dropped: " + std::to_string(counts.dropped) +
                    "  Event queue overflows: " + std::to_string(counts.overflows));
    if (!status->recent.empty()) {
        lines.emplace_back("Last detections:");
        for (const GuardDetection& detection : status->recent) {
            lines.push_back(detectionLine(detection));
        }
    }
    return lines;
}

std::string GuardSummaryLine(const GuardStatus* status, bool running) {
    if (status == nullptr || !running) {
        return "Guard: not running";
    }
    return "Guard: running since " + GuardUtcTime(status->startedNs);
}
