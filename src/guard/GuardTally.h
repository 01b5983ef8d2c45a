#pragma once

#include "guard/GuardStatus.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

/// The running guard's counts and last detections, updated from every thread of the guard at
/// once. Counting never waits for anything but a short lock on the list of detections.
class GuardTally {
public:
    void addChecked() { m_checked.fetch_add(1, std::memory_order_relaxed); }
    void addDenied() { m_denied.fetch_add(1, std::memory_order_relaxed); }
    void addUnchecked() { m_unchecked.fetch_add(1, std::memory_order_relaxed); }
    void addOverflow() { m_overflows.fetch_add(1, std::memory_order_relaxed); }
    /// A listed file: counted as detected unless it was denied (an Exec, whose denial
    /// `addDenied` counts), as quarantined when its action says so, and kept among the last ten.
    void addDetection(GuardDetection detection);

    /// The counts now; `dropped` comes from the log.
    GuardCounts counts(std::uint64_t dropped) const;
    /// The last ten detections at most, oldest first.
    std::vector<GuardDetection> recent() const;

private:
    std::atomic<std::uint64_t> m_checked{0};
    std::atomic<std::uint64_t> m_denied{0};
    std::atomic<std::uint64_t> m_unchecked{0};
    std::atomic<std::uint64_t> m_detected{0};
    std::atomic<std::uint64_t> m_quarantined{0};
    std::atomic<std::uint64_t> m_overflows{0};
    mutable std::mutex m_recentMutex;
    std::deque<GuardDetection> m_recent;
};
