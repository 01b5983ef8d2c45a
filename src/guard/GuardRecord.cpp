#include "guard/GuardRecord.h"

#include "guard/GuardTime.h"
#include "scanner/PrintableName.h"

#include <nlohmann/json.hpp>

namespace {

/// How the text line names what the process did with the file.
const char* useOf(GuardEvent event) {
    switch (event) {
    case GuardEvent::Denied:
    case GuardEvent::Unchecked:
        return "run by";
    case GuardEvent::Detected:
    case GuardEvent::Quarantined:
    case GuardEvent::ActionFailed:
        return "written by";
    default:
        return "by";
    }
}

} // namespace

const char* GuardEventName(GuardEvent event) {
    switch (event) {
    case GuardEvent::Started:
        return "started";
    case GuardEvent::Stopped:
        return "stopped";
    case GuardEvent::Denied:
        return "denied";
    case GuardEvent::Detected:
        return "detected";
    case GuardEvent::Quarantined:
        return "quarantined";
    case GuardEvent::ActionFailed:
        return "action-failed";
    case GuardEvent::Unchecked:
        return "unchecked";
    case GuardEvent::Overflow:
        return "overflow";
    case GuardEvent::Error:
        break;
    }
    return "error";
}

std::string GuardRecordJson(const GuardRecord& record) {
    // Members in the order written, so that a person reading the file finds the time first.
    nlohmann::ordered_json line;
    line["time"] = GuardIsoTime(record.timeNs);
    line["event"] = GuardEventName(record.event);
    if (!record.path.empty()) {
        line["path"] = record.path;
    }
    if (!record.threat.empty()) {
        line["threat"] = record.threat;
    }
    if (record.pid != 0) {
        line["pid"] = record.pid;
    }
    if (!record.program.empty()) {
        line["program"] = record.program;
    }
    if (!record.detail.empty()) {
        line["detail"] = record.detail;
    }
    // A byte that is not UTF-8 becomes U+FFFD rather than an exception.
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string GuardRecordText(const GuardRecord& record) {
    // Every text from outside (a file name, a program's name) is escaped, so that a name with a
    // line break cannot add a line that looks like one of the guard's own.
    std::string text = GuardEventName(record.event);
    bool told = false;
    if (!record.path.empty()) {
        text.append(": ").append(PrintableName(record.path));
        told = true;
    }
    if (!record.threat.empty()) {
        text.append(told ? " (" : ": (").append(PrintableName(record.threat)).append(")");
        told = true;
    }
    if (record.pid != 0) {
        text.append(told ? " " : ": ").append(useOf(record.event));
        text.append(" pid ").append(std::to_string(record.pid));
        if (!record.program.empty()) {
            text.append(" (").append(PrintableName(record.program)).append(")");
        }
        told = true;
    }
    if (!record.detail.empty()) {
        text.append(told ? "; " : ": ").append(PrintableName(record.detail));
    }
    return text;
}
