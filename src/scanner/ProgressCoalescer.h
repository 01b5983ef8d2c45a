#pragma once

#include "scanner/ScanSession.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

/// Passes a scan's reports on to another observer in batches, at most once per interval: the file
/// being checked and the count of checked files go on only as their latest report, every other
/// report of a file (a listed row, what could not be read) goes on, and everything in the order
/// the scan reported it. The start of a pass, the total and the end go on at once, after
/// everything held before them, so a pass and the scan always end with the last progress.
///
/// flushIfDue may be called from another thread than the scan's (a display's timer, so that a long
/// file does not keep the previous one on show); reports are passed on one at a time and in order.
/// The target is never called with the lock held: a batch is taken out under the lock and passed
/// on after it, by the one thread that is passing batches on at that moment. A thread that finds
/// another one doing so leaves its batch to that thread and returns at once, so the scan never
/// waits for a display's target, and a target may report back (from any thread) without deadlock.
class ProgressCoalescer final : public ScanObserver {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    /// `clock` defaults to std::chrono::steady_clock::now.
    ProgressCoalescer(ScanObserver& target, std::chrono::milliseconds interval, Clock clock = {});

    void passStarted(ScanPass pass) override;
    void totalCounted(std::uint64_t total) override;
    void fileStarted(const std::string& status) override;
    void detectionListed(const DetectionEntry& entry, std::uint64_t detections) override;
    void fileChecked(const ScanProgress& progress) override;
    void fileUnreadable(const std::string& location, const std::string& reason) override;
    void lookupFailed(const std::string& location, const std::string& reason) override;
    void folderUnreadable(ScanPass pass, const std::string& folder, std::error_code error) override;
    void finished(const ScanSummary& summary) override;

    /// Passes the held reports on when the interval since the last batch has passed.
    void flushIfDue();

private:
    struct Status {
        std::string text;
    };
    /// A report passed on as it came.
    using Report = std::function<void(ScanObserver&)>;
    using Held = std::variant<Status, ScanProgress, Report>;

    /// Whether the interval since the last batch has passed (or none went yet).
    bool due() const;
    /// Holds `report` and takes the batch out when it is due; the lock is held.
    void hold(Held report);
    /// Takes the held reports out for passing on, in the order they came; the lock is held.
    void takeHeld();
    /// Passes on what was taken out, unless a thread is doing so already; called with the lock
    /// held, which it releases while the target runs.
    void deliver(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    ScanObserver& m_target;
    const std::chrono::milliseconds m_interval;
    const Clock m_clock;
    std::optional<std::chrono::steady_clock::time_point> m_lastSent;
    /// In the order they came; at most one Status and one ScanProgress, each the latest.
    std::vector<Held> m_held;
    std::optional<std::size_t> m_heldStatus;   ///< its place in m_held
    std::optional<std::size_t> m_heldProgress; ///< its place in m_held
    /// Taken out and not yet passed on, oldest first.
    std::vector<Held> m_outgoing;
    /// Whether a thread is passing m_outgoing on; only that thread calls the target.
    bool m_delivering = false;
};
