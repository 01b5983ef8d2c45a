#pragma once

#include "cli/Commands.h"
#include "scanner/DetectionActions.h"
#include "scanner/ScanSession.h"

#include <chrono>
#include <string>
#include <vector>

/// Prints a scan for people or scripts: each listed file as "LOCATION: THREAT FOUND" with its size
/// and information as it is listed, a live progress line when the messages go to a terminal,
/// unreadable folders, and the counts with the window's completion line (left out on request);
/// or, with --json, one JSON document at the end.
class ScanReporter final : public ScanObserver, public ActionObserver {
public:
    struct Settings {
        bool json = false;
        bool quiet = false;
        bool liveProgress = false; ///< redraw a progress line on the message stream
        bool quarantine = false;   ///< the action after the scan quarantines (else deletes)
        bool noSummary = false;    ///< text: only the detection lines on the result stream
    };
    /// `targets` are what the scan was given, in order.
    ScanReporter(CommandStreams streams, Settings settings, std::vector<ScanTarget> targets);

    void passStarted(ScanPass pass) override;
    void totalCounted(std::uint64_t total) override;
    void detectionListed(const DetectionEntry& entry, std::uint64_t detections) override;
    void fileStarted(const std::string& status) override;
    /// Only the live progress line shows the file being checked.
    bool wantsFileStatus() const override { return m_settings.liveProgress; }
    void fileChecked(const ScanProgress& progress) override;
    void folderUnreadable(ScanPass pass, const std::string& folder, std::error_code error) override;
    void fileUnreadable(const std::string& location, const std::string& reason) override;
    void finished(const ScanSummary& summary) override;

    void progressChanged(int percent, const std::string& text) override;
    void entryKept(std::size_t position, const DetectionEntry& entry,
                   const std::string& reason) override;
    /// The action's result line (text) or record (JSON).
    void actionFinished(const ActionResult& result);
    /// Writes the JSON document; nothing in text mode.
    void close();

    /// A message about the scan as a whole (a database that cannot answer, ...).
    void problem(const std::string& message);
    /// True when a folder or file given to the scan could not be read.
    bool rootUnreadable() const { return m_rootUnreadable; }

private:
    void drawProgress(bool force);
    void message(const std::string& text);
    void clearProgress();
    std::string elapsedText() const;
    bool isTarget(const std::string& path, bool folder) const;

    CommandStreams m_streams;
    Settings m_settings;
    std::vector<ScanTarget> m_targets;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastDrawn{};
    bool m_progressShown = false;
    bool m_rootUnreadable = false;
    std::uint64_t m_total = 0;
    std::uint64_t m_checked = 0;
    std::string m_status;
    std::string m_percentText = "0 % Complete...";
    std::vector<std::string> m_problems;
    ScanSummary m_summary;
    std::string m_elapsed;
    std::string m_actionStatus;
    std::vector<ActionOutcome> m_outcomes;
    struct Unreadable {
        std::string location;
        std::string reason;
    };
    std::vector<Unreadable> m_unreadable;
};
