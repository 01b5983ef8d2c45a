#include "scanner/ScanTexts.h"

#include "platform/ProgramFolder.h"

#include <cmath>
#include <utility>

namespace ScanTexts {

std::optional<long long> Percent(std::uint64_t total, std::uint64_t done) {
    if (total == 0) {
        return std::nullopt;
    }
    const double exact = (100.0 / static_cast<double>(total)) * static_cast<double>(done);
    // The default floating-point rounding mode sends halves to the even neighbour.
    return std::llrint(exact);
}

std::string PercentText(long long percent) {
    return std::to_string(percent) + " % Complete...";
}

std::string FileDisplay(std::string_view folder, std::string_view name) {
    constexpr std::size_t kLongest = 50;
    constexpr std::size_t kNameTail = 15;
    if (folder.size() + name.size() <= kLongest) {
        return std::string(folder) + std::string(name);
    }
    // The head runs to the first separator at or after the fourth character: the drive or root
    // and the first folder.
    const std::size_t separator =
        folder.size() > 3 ? folder.find(platform::kPathSeparator, 3) : std::string_view::npos;
    const std::string_view head =
        separator == std::string_view::npos ? std::string_view() : folder.substr(0, separator + 1);
    std::string text = std::string(head) + "..." + platform::kPathSeparator;
    if (name.size() >= kNameTail) {
        text += "...";
        text += name.substr(name.size() - kNameTail);
    } else {
        text += name;
    }
    return text;
}

std::string ElapsedText(std::uint64_t seconds) {
    const auto twoDigits = [](std::uint64_t value) {
        return value < 10 ? "0" + std::to_string(value) : std::to_string(value);
    };
    return twoDigits(seconds / 3600) + ":" + twoDigits(seconds / 60 % 60) + ":" +
           twoDigits(seconds % 60);
}

std::optional<std::string> WaitAnimation::tick() {
    constexpr std::string_view kText = "Being analyzed, Please wait";
    constexpr std::string_view kDots = "....";
    if (m_step == static_cast<int>(kDots.size()) + 1) {
        m_step = 0;
        return std::nullopt;
    }
    std::string text = std::string(kText) + std::string(kDots.substr(0, m_step));
    ++m_step;
    return text;
}

Completion CompletionFor(std::uint64_t detections, bool stopped) {
    Completion completion;
    completion.stopped = stopped;
    const std::string found = detections > 0 ? std::to_string(detections) + " virus detected..."
                                             : std::string("no virus detected...");
    completion.status =
        (completion.stopped ? "Process terminated, " : "Scanning is finished, ") + found;
    completion.message = completion.status;
    completion.resetProgress = completion.stopped;
    if (!completion.stopped) {
        completion.showMessage = true;
        completion.messageTitle = detections > 0 ? "Detected" : "No Detected";
        completion.messageStyle = detections > 0 ? 48 : 64;
    }
    return completion;
}

std::string UncheckedNote(std::uint64_t unreadable, std::uint64_t unreadableFolders,
                          std::uint64_t lookupFailed, const std::string& lookupReason) {
    std::string note;
    const auto addLine = [&note](std::uint64_t count, const std::string& text) {
        if (count == 0) {
            return;
        }
        if (!note.empty()) {
            note += '\n';
        }
        note += std::to_string(count) + text;
    };
    addLine(unreadable, " file(s) could not be read, so they were not checked.");
    addLine(unreadableFolders,
            " folder(s) could not be read, so the files in them were not checked.");
    addLine(lookupFailed,
            " file(s) could not be looked up in the signature database (" + lookupReason + ").");
    return note;
}

void AddUncheckedNote(Completion& completion, const std::string& note) {
    if (note.empty()) {
        return;
    }
    completion.message += "\n\n" + note;
    if (completion.showMessage) {
        completion.messageStyle = 48;
    }
}

void WelcomeLine::programWindowActivated() {
    m_due = true;
}

bool WelcomeLine::mainWindowActivated() {
    return std::exchange(m_due, false);
}

} // namespace ScanTexts
