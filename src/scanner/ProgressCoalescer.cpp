#include "scanner/ProgressCoalescer.h"

namespace {

template <class... Handlers> struct Overloaded : Handlers... { using Handlers::operator()...; };
// Spelled out for compilers without aggregate deduction (clang before 17).
template <class... Handlers> Overloaded(Handlers...) -> Overloaded<Handlers...>;

} // namespace

ProgressCoalescer::ProgressCoalescer(ScanObserver& target, std::chrono::milliseconds interval,
                                     Clock clock)
    : m_target(target), m_interval(interval),
      m_clock(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)) {}

bool ProgressCoalescer::due() const {
    return !m_lastSent || m_clock() - *m_lastSent >= m_interval;
}

void ProgressCoalescer::hold(Held report) {
    // A newer status or count replaces the held one of its kind, and takes its place in the order
    // as the newest report.
    std::optional<std::size_t>* place = nullptr;
    if (std::holds_alternative<Status>(report)) {
        place = &m_heldStatus;
    } else if (std::holds_alternative<ScanProgress>(report)) {
        place = &m_heldProgress;
    }
    if (place != nullptr) {
        if (*place) {
            const std::size_t at = **place;
            auto* progress = std::get_if<ScanProgress>(&report);
            if (progress != nullptr && !progress->percent) {
                // The display keeps the held percentage until a newer one comes.
                const ScanProgress& held = std::get<ScanProgress>(m_held[at]);
                progress->percent = held.percent;
                progress->percentText = held.percentText;
            }
            // Taken out rather than blanked, so that the held reports stay few however many
            // files go by between two batches.
            m_held.erase(m_held.begin() + static_cast<std::ptrdiff_t>(at));
            for (std::optional<std::size_t>* other : {&m_heldStatus, &m_heldProgress}) {
                if (*other && **other > at) {
                    --**other;
                }
            }
        }
        *place = m_held.size();
    }
    m_held.push_back(std::move(report));
    if (due()) {
        takeHeld();
    }
}

void ProgressCoalescer::takeHeld() {
    if (m_held.empty()) {
        return;
    }
    m_outgoing.insert(m_outgoing.end(), std::make_move_iterator(m_held.begin()),
                      std::make_move_iterator(m_held.end()));
    m_held.clear();
    m_heldStatus.reset();
    m_heldProgress.reset();
    m_lastSent = m_clock();
}

void ProgressCoalescer::deliver(std::unique_lock<std::mutex>& lock) {
    // The thread already passing reports on also passes on what was taken out meanwhile, in turn.
    if (m_delivering) {
        return;
    }
    m_delivering = true;
    try {
        while (!m_outgoing.empty()) {
            std::vector<Held> batch;
            batch.swap(m_outgoing);
            lock.unlock();
            for (const Held& held : batch) {
                std::visit(
                    Overloaded{
                        [this](const Status& status) { m_target.fileStarted(status.text); },
                        [this](const Report& report) { report(m_target); },
                        [this](const ScanProgress& progress) { m_target.fileChecked(progress); },
                    },
                    held);
            }
            lock.lock();
        }
    } catch (...) {
        if (!lock.owns_lock()) {
            lock.lock();
        }
        m_delivering = false;
        throw;
    }
    m_delivering = false;
}

void ProgressCoalescer::flushIfDue() {
    std::unique_lock lock(m_mutex);
    if (due()) {
        takeHeld();
    }
    deliver(lock);
}

void ProgressCoalescer::fileStarted(const std::string& status) {
    std::unique_lock lock(m_mutex);
    hold(Status{status});
    deliver(lock);
}

void ProgressCoalescer::detectionListed(const DetectionEntry& entry, std::uint64_t detections) {
    std::unique_lock lock(m_mutex);
    hold(Report(
        [entry, detections](ScanObserver& target) { target.detectionListed(entry, detections); }));
    deliver(lock);
}

void ProgressCoalescer::fileChecked(const ScanProgress& progress) {
    std::unique_lock lock(m_mutex);
    hold(progress);
    deliver(lock);
}

void ProgressCoalescer::passStarted(ScanPass pass) {
    std::unique_lock lock(m_mutex);
    takeHeld();
    m_outgoing.emplace_back(Report([pass](ScanObserver& target) { target.passStarted(pass); }));
    deliver(lock);
}

void ProgressCoalescer::totalCounted(std::uint64_t total) {
    std::unique_lock lock(m_mutex);
    takeHeld();
    m_outgoing.emplace_back(Report([total](ScanObserver& target) { target.totalCounted(total); }));
    deliver(lock);
}

void ProgressCoalescer::fileUnreadable(const std::string& location, const std::string& reason) {
    std::unique_lock lock(m_mutex);
    hold(Report(
        [location, reason](ScanObserver& target) { target.fileUnreadable(location, reason); }));
    deliver(lock);
}

void ProgressCoalescer::lookupFailed(const std::string& location, const std::string& reason) {
    std::unique_lock lock(m_mutex);
    hold(Report(
        [location, reason](ScanObserver& target) { target.lookupFailed(location, reason); }));
    deliver(lock);
}

void ProgressCoalescer::folderUnreadable(ScanPass pass, const std::string& folder,
                                         std::error_code error) {
    std::unique_lock lock(m_mutex);
    hold(Report([pass, folder, error](ScanObserver& target) {
        target.folderUnreadable(pass, folder, error);
    }));
    deliver(lock);
}

void ProgressCoalescer::finished(const ScanSummary& summary) {
    std::unique_lock lock(m_mutex);
    takeHeld();
    m_outgoing.emplace_back(Report([summary](ScanObserver& target) { target.finished(summary); }));
    deliver(lock);
}
