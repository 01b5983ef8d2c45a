#include "guard/GuardTally.h"

namespace {

constexpr std::size_t kRecentKept = 10;

} // namespace

void GuardTally::addDetection(GuardDetection detection) {
    if (detection.action != "denied") {
        m_detected.fetch_add(1, std::memory_order_relaxed);
    }
    if (detection.action == "quarantined") {
        m_quarantined.fetch_add(1, std::memory_order_relaxed);
    }
    const std::lock_guard lock(m_recentMutex);
    m_recent.push_back(std::move(detection));
    if (m_recent.size() > kRecentKept) {
        m_recent.pop_front();
    }
}

GuardCounts GuardTally::counts(std::uint64_t dropped) const {
    GuardCounts counts;
    counts.checked = m_checked.load(std::memory_order_relaxed);
    counts.denied = m_denied.load(std::memory_order_relaxed);
    counts.unchecked = m_unchecked.load(std::memory_order_relaxed);
    counts.detected = m_detected.load(std::memory_order_relaxed);
    counts.quarantined = m_quarantined.load(std::memory_order_relaxed);
    counts.dropped = dropped;
    counts.overflows = m_overflows.load(std::memory_order_relaxed);
    return counts;
}

std::vector<GuardDetection> GuardTally::recent() const {
    const std::lock_guard lock(m_recentMutex);
    return {m_recent.begin(), m_recent.end()};
}
