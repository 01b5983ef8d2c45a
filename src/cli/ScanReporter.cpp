#include "cli/ScanReporter.h"

#include "cli/JsonText.h"
#include "platform/ProgramFolder.h"

#include <algorithm>

ScanReporter::ScanReporter(CommandStreams streams, Settings settings,
                           std::vector<ScanTarget> targets)
    : m_streams(streams), m_settings(settings), m_targets(std::move(targets)),
      m_started(std::chrono::steady_clock::now()) {}

bool ScanReporter::isTarget(const std::string& path, bool folder) const {
    return std::any_of(m_targets.begin(), m_targets.end(), [&](const ScanTarget& target) {
        if (folder) {
            return target.kind == ScanTarget::Kind::Folder &&
                   (path == target.path || path == target.path + platform::kPathSeparator);
        }
        return target.kind != ScanTarget::Kind::Folder && path == target.path;
    });
}

std::string ScanReporter::elapsedText() const {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - m_started);
    return ScanTexts::ElapsedText(static_cast<std::uint64_t>(seconds.count()));
}

void ScanReporter::clearProgress() {
    if (m_progressShown) {
        m_streams.err << "\r\033[K" << std::flush;
        m_progressShown = false;
    }
}

void ScanReporter::drawProgress(bool force) {
    if (!m_settings.liveProgress) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDrawn < std::chrono::milliseconds(100)) {
        return;
    }
    m_lastDrawn = now;
    m_streams.err << "\r\033[K" << m_percentText << ' ' << m_checked << '/' << m_total << ' '
                  << elapsedText() << ' ' << PrintableName(m_status) << std::flush;
    m_progressShown = true;
}

void ScanReporter::passStarted(ScanPass pass) {
    if (pass == ScanPass::Counting) {
        m_status = "Being analyzed, Please wait....";
        drawProgress(true);
    }
}

void ScanReporter::totalCounted(std::uint64_t total) {
    m_total = total;
}

void ScanReporter::fileStarted(const std::string& status) {
    m_status = status;
}

void ScanReporter::detectionListed(const DetectionEntry& entry, std::uint64_t) {
    if (m_settings.json) {
        return;
    }
    clearProgress();
    m_streams.out << PrintableName(entry.location) << ": " << entry.name << " FOUND (" << entry.size
                  << " bytes)";
    if (!entry.information.empty()) {
        m_streams.out << ' ' << entry.information;
    }
    m_streams.out << '\n' << std::flush;
}

void ScanReporter::fileChecked(const ScanProgress& progress) {
    m_checked = progress.checked;
    if (progress.percent) {
        m_percentText = progress.percentText;
    }
    drawProgress(false);
}

void ScanReporter::folderUnreadable(ScanPass pass, const std::string& folder,
                                    std::error_code error) {
    const bool root = isTarget(folder, true);
    m_rootUnreadable = m_rootUnreadable || root;
    // Both passes meet the same folders; it is reported once, where files are checked.
    if (pass != ScanPass::Scanning) {
        return;
    }
    const std::string text = "cannot read folder '" + folder + "': " + error.message();
    if (m_settings.json) {
        m_problems.push_back(text);
    } else if (!m_settings.quiet || root) {
        message(PrintableName(text));
    }
}

void ScanReporter::message(const std::string& text) {
    clearProgress();
    m_streams.out.flush();
    m_streams.err << "kesto: " << text << '\n';
}

void ScanReporter::problem(const std::string& text) {
    if (m_settings.json) {
        m_problems.push_back(text);
        return;
    }
    message(text);
}

void ScanReporter::fileUnreadable(const std::string& location, const std::string& reason) {
    // A file the user named is missed even by a quiet scan.
    const bool named = isTarget(location, false);
    m_rootUnreadable = m_rootUnreadable || named;
    if (m_settings.json) {
        m_unreadable.push_back({location, reason});
    } else if (!m_settings.quiet || named) {
        message("cannot read '" + PrintableName(location) + "': " + reason);
    }
}

void ScanReporter::entryKept(std::size_t, const DetectionEntry& entry, const std::string& reason) {
    if (m_settings.json) {
        return;
    }
    clearProgress();
    m_streams.out.flush();
    m_streams.err << PrintableName(entry.location) << ": not "
                  << (m_settings.quarantine ? "quarantined" : "removed") << " ("
                  << PrintableName(reason) << ")\n";
}

void ScanReporter::finished(const ScanSummary& summary) {
    clearProgress();
    m_summary = summary;
    m_elapsed = elapsedText();
    const ScanCounts& counts = summary.counts;
    if (counts.lookupFailed > 0) {
        problem(
            std::to_string(counts.lookupFailed) +
            " file(s) could not be looked up in the signature database: " + summary.lookupFailure);
    }
    if (m_settings.json || m_settings.noSummary) {
        return;
    }
    std::ostream& out = m_streams.out;
    out << "Total File    : " << counts.total << '\n'
        << "File Scanning : " << counts.checked << '\n'
        << "Virus Detected: " << counts.detections << '\n';
    if (counts.unreadable > 0) {
        out << "Not Readable  : " << counts.unreadable << '\n';
    }
    if (counts.lookupFailed > 0) {
        out << "Not Looked Up : " << counts.lookupFailed << '\n';
    }
    out << "Eplased       : " << m_elapsed << '\n'
        << summary.completion.status << '\n'
        << std::flush;
}

void ScanReporter::progressChanged(int, const std::string& text) {
    m_percentText = text;
    m_status.clear();
    drawProgress(false);
}

void ScanReporter::actionFinished(const ActionResult& result) {
    clearProgress();
    m_actionStatus = result.status;
    const bool quarantine = m_settings.quarantine;
    m_outcomes = result.outcomes;
    if (m_settings.json) {
        return;
    }
    if (!m_settings.noSummary) {
        m_streams.out << result.status << '\n' << std::flush;
    }
    if (result.failed > 0) {
        message(std::to_string(result.failed) + " file(s) could not be " +
                (quarantine ? "quarantined" : "removed"));
    }
    // Quarantined all the same, but without all of its protection or its record.
    for (const ActionOutcome& outcome : result.outcomes) {
        if (!outcome.note.empty()) {
            m_streams.err << PrintableName(outcome.location) << ": " << PrintableName(outcome.note)
                          << '\n';
        }
    }
}

void ScanReporter::close() {
    if (!m_settings.json) {
        return;
    }
    const ScanCounts& counts = m_summary.counts;
    std::ostream& out = m_streams.out;
    // "folder" keeps the first path for readers of a one-folder scan; "paths" has them all.
    out << "{\n  \"folder\": " << JsonString(m_targets.empty() ? "" : m_targets.front().path)
        << ",\n  \"paths\": [";
    const char* separator = "";
    for (const ScanTarget& target : m_targets) {
        out << separator << JsonString(target.path);
        separator = ", ";
    }
    out << "],\n  \"total\": " << counts.total << ",\n  \"checked\": " << counts.checked
        << ",\n  \"cached\": " << counts.cached << ",\n  \"detected\": " << counts.detections
        << ",\n  \"elapsed\": " << JsonString(m_elapsed)
        << ",\n  \"stopped\": " << (m_summary.completion.stopped ? "true" : "false")
        << ",\n  \"completion\": " << JsonString(m_summary.completion.status)
        << ",\n  \"detections\": [";
    separator = "\n";
    for (const DetectionEntry& row : m_summary.detections) {
        out << separator << "    {\"name\": " << JsonString(row.name)
            << ", \"location\": " << JsonString(row.location) << ", \"size\": " << row.size
            << ", \"information\": " << JsonString(row.information) << '}';
        separator = ",\n";
    }
    out << (m_summary.detections.empty() ? "]" : "\n  ]");
    out << ",\n  \"unreadable\": " << counts.unreadable
        << ",\n  \"notLookedUp\": " << counts.lookupFailed << ",\n  \"unreadableFiles\": [";
    separator = "\n";
    for (const Unreadable& file : m_unreadable) {
        out << separator << "    {\"location\": " << JsonString(file.location)
            << ", \"reason\": " << JsonString(file.reason) << '}';
        separator = ",\n";
    }
    out << (m_unreadable.empty() ? "]" : "\n  ]");
    if (!m_actionStatus.empty()) {
        out << ",\n  \"action\": " << JsonString(m_actionStatus) << ",\n  \"actionResults\": [";
        separator = "\n";
        const char* done = m_settings.quarantine ? "quarantined" : "removed";
        for (const ActionOutcome& outcome : m_outcomes) {
            out << separator << "    {\"location\": " << JsonString(outcome.location)
                << ", \"result\": " << JsonString(outcome.done ? done : "failed");
            if (!outcome.target.empty()) {
                out << ", \"target\": " << JsonString(outcome.target);
            }
            if (!outcome.done) {
                out << ", \"reason\": " << JsonString(outcome.reason);
            }
            if (!outcome.note.empty()) {
                out << ", \"note\": " << JsonString(outcome.note);
            }
            out << '}';
            separator = ",\n";
        }
        out << (m_outcomes.empty() ? "]" : "\n  ]");
    }
    out << ",\n  \"errors\": [";
    separator = "";
    for (const std::string& problem : m_problems) {
        out << separator << JsonString(problem);
        separator = ", ";
    }
    out << "]\n}\n" << std::flush;
}
