#include "scanner/ui/ScanWorker.h"

#include "cache/VerdictCache.h"
#include "controls/WindowText.h"
#include "scanner/ScanCache.h"

#include <QTimer>

namespace {

/// Turns the scan's reports into the worker's signals, emitted on the scan thread.
class SignalObserver final : public ScanObserver {
public:
    explicit SignalObserver(ScanWorker& worker) : m_worker(worker) {}

    void passStarted(ScanPass pass) override { emit m_worker.passStarted(static_cast<int>(pass)); }
    void totalCounted(std::uint64_t total) override { emit m_worker.totalCounted(total); }
    void fileStarted(const std::string& status) override {
        emit m_worker.fileStarted(toQString(status));
    }
    void detectionListed(const DetectionEntry& entry, std::uint64_t detections) override {
        emit m_worker.detectionListed(entry, detections);
    }
    void fileChecked(const ScanProgress& progress) override {
        emit m_worker.fileChecked(progress.checked,
                                  progress.percent ? static_cast<int>(*progress.percent) : -1,
                                  QString::fromStdString(progress.percentText));
    }
    void finished(const ScanSummary& summary) override { emit m_worker.finished(summary); }

private:
    ScanWorker& m_worker;
};

} // namespace

ScanWorker::ScanWorker(QObject* parent, ProgressCoalescer::Clock clock)
    : QObject(parent), m_clock(std::move(clock)),
      m_signals(std::make_unique<SignalObserver>(*this)), m_flushTimer(new QTimer(this)) {
    qRegisterMetaType<DetectionEntry>();
    qRegisterMetaType<ScanSummary>();
    m_flushTimer->setInterval(kProgressInterval);
    connect(m_flushTimer, &QTimer::timeout, this, [this] {
        if (m_progress) {
            m_progress->flushIfDue();
        }
    });
}

ScanWorker::~ScanWorker() {
    requestStop();
    join();
}

void ScanWorker::start(ScanOptions options) {
    join();
    m_stop.store(false);
    m_pauseRequested.store(false);
    m_progress = std::make_unique<ProgressCoalescer>(*m_signals, kProgressInterval, m_clock);
    m_flushTimer->start();
    m_thread = std::thread([this, options = std::move(options), useCache = m_useCache]() mutable {
        // The same verdict cache as the command line's; opened here, off the window's thread.
        std::unique_ptr<VerdictCache> cache;
        if (useCache && options.cache == nullptr && options.database != nullptr) {
            std::string warning;
            cache = OpenScanCache(*options.database, {}, warning, options.extra);
            if (!warning.empty()) {
                qWarning("%s%s", warning.c_str(), cache ? "" : "; scanning without it");
            }
            options.cache = cache.get();
        }
        RunScan(options, *m_progress, [this] { return stopOrWait(); });
    });
}

void ScanWorker::requestStop() {
    {
        const std::lock_guard lock(m_pauseMutex);
        m_stop.store(true);
    }
    m_pauseEnded.notify_all();
}

void ScanWorker::pause() {
    {
        const std::lock_guard lock(m_pauseMutex);
        m_pauseRequested.store(true);
    }
    // What the scan holds back stays held, so that the display does not move either.
    m_flushTimer->stop();
}

void ScanWorker::resume() {
    {
        const std::lock_guard lock(m_pauseMutex);
        m_pauseRequested.store(false);
    }
    m_pauseEnded.notify_all();
    if (m_progress) {
        m_flushTimer->start();
    }
}

bool ScanWorker::waiting() const {
    const std::lock_guard lock(m_pauseMutex);
    // A scan that was let go counts as going on, even before its thread has woken.
    return m_waiting && m_pauseRequested.load() && !m_stop.load();
}

bool ScanWorker::stopOrWait() {
    if (m_pauseRequested.load()) {
        std::unique_lock lock(m_pauseMutex);
        m_waiting = true;
        m_pauseEnded.wait(lock, [this] { return !m_pauseRequested.load() || m_stop.load(); });
        m_waiting = false;
    }
    return m_stop.load();
}

void ScanWorker::join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_flushTimer->stop();
    m_progress.reset();
}
