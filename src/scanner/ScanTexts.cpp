#include "scanner/ScanTexts.h"

#include "platform/ProgramFolder.h"
#include "scanner/Utf8.h"

#include <cmath>
#include <utility>

namespace {

/// The length of the well-formed UTF-8 sequence at `text[at]`, or 0 when none starts there.
std::size_t sequenceAt(std::string_view text, std::size_t at) {
    return Utf8CharacterAt(text, at).length;
}

/// The characters of a text: its code points when it is valid UTF-8, else its bytes (a name in
/// another encoding is measured as the file system stores it).
class Characters {
public:
    explicit Characters(std::string_view text) : m_text(text), m_count(0), m_utf8(true) {
        for (std::size_t at = 0; at < text.size(); ++m_count) {
            const std::size_t length = sequenceAt(text, at);
            if (length == 0) {
                m_utf8 = false;
                m_count = text.size();
                return;
            }
            at += length;
        }
    }

    std::size_t count() const { return m_count; }

    /// The byte offset at which character `index` (at most count()) begins.
    std::size_t offset(std::size_t index) const {
        if (!m_utf8) {
            return index;
        }
        std::size_t at = 0;
        for (; index > 0; --index) {
            at += sequenceAt(m_text, at);
        }
        return at;
    }

private:
    std::string_view m_text;
    std::size_t m_count;
    bool m_utf8;
};

} // namespace

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
    std::string full = std::string(folder) + std::string(name);
    // A text never has more characters than bytes.
    if (full.size() <= kLongest || Characters(full).count() <= kLongest) {
        return full;
    }
    // The head runs to the first separator at or after the fourth character: the drive or root
    // and the first folder.
    const Characters folderCharacters(folder);
    const std::size_t separator =
        folderCharacters.count() > 3
            ? folder.find(platform::kPathSeparator, folderCharacters.offset(3))
            : std::string_view::npos;
    const std::string_view head =
        separator == std::string_view::npos ? std::string_view() : folder.substr(0, separator + 1);
    std::string text = std::string(head) + "..." + platform::kPathSeparator;
    const Characters nameCharacters(name);
    if (nameCharacters.count() >= kNameTail) {
        text += "...";
        text += name.substr(nameCharacters.offset(nameCharacters.count() - kNameTail));
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
