#include "scanner/FolderListings.h"

#include <chrono>

namespace {

std::size_t bytesOf(const std::vector<platform::FolderEntry>& entries) {
    std::size_t bytes = entries.capacity() * sizeof(platform::FolderEntry);
    for (const platform::FolderEntry& entry : entries) {
        // Short names live inside the string itself.
        if (entry.name.capacity() > std::string().capacity()) {
            bytes += entry.name.capacity() + 1;
        }
    }
    return bytes;
}

} // namespace

FolderListings::FolderListings(std::int64_t walkStarted, std::size_t budget)
    : m_walkStarted(walkStarted), m_budget(budget) {}

std::int64_t FolderListings::Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool FolderListings::trusted(const platform::FolderHandle& folder) {
    const auto [known, inserted] = m_trustedDevices.try_emplace(folder.id().device, false);
    if (inserted) {
        known->second = folder.changeTimeIsTrusted();
    }
    return known->second;
}

void FolderListings::keep(const platform::FolderHandle& folder,
                          std::vector<platform::FolderEntry>&& entries) {
    if (const std::optional<std::int64_t> changed = folder.changeTime();
        changed && trusted(folder)) {
        keep(folder.id(), *changed, std::move(entries));
    }
}

bool FolderListings::take(const platform::FolderHandle& folder,
                          std::vector<platform::FolderEntry>& entries) {
    return take(folder.id(), folder.changeTime(), entries);
}

void FolderListings::keep(platform::FileId id, std::int64_t changeTime,
                          std::vector<platform::FolderEntry>&& entries) {
    if (changeTime > m_walkStarted - kSettledNanoseconds) {
        return;
    }
    const std::size_t bytes = bytesOf(entries);
    if (bytes > m_budget - m_bytes) {
        return;
    }
    // A folder met twice (mounted in two places) keeps its first listing.
    if (m_kept.try_emplace(id, Kept{changeTime, std::move(entries), bytes}).second) {
        m_bytes += bytes;
    }
}

bool FolderListings::take(platform::FileId id, std::optional<std::int64_t> changeTime,
                          std::vector<platform::FolderEntry>& entries) {
    const auto kept = m_kept.find(id);
    if (kept == m_kept.end()) {
        return false;
    }
    const bool unchanged = changeTime == kept->second.changeTime;
    if (unchanged) {
        entries = std::move(kept->second.entries);
        ++m_reused;
    }
    m_bytes -= kept->second.bytes;
    m_kept.erase(kept);
    return unchanged;
}
