#pragma once

#include "scanner/ProgressCoalescer.h"
#include "scanner/ScanSession.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class QTimer;
class SignatureDatabase;

Q_DECLARE_METATYPE(DetectionEntry)
Q_DECLARE_METATYPE(ScanSummary)

/// Runs a folder scan on its own thread and hands its reports to the window thread as signals, in
/// the order the scan made them, batched at most once per kProgressInterval: of the file being
/// checked and the count of checked files only the latest, every listed row; the start of a pass,
/// the total and the end at once. A timer on the thread that owns the worker sends what a long
/// file holds back, so the signals come from two threads: connect them with Qt::QueuedConnection
/// to keep their order. A stop request is seen before the next file. A paused scan waits at the
/// same place, before its next file or folder, until it is resumed or stopped, and sends nothing
/// meanwhile.
class ScanWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScanWorker)

public:
    static constexpr std::chrono::milliseconds kProgressInterval{40};

    /// `clock` times the progress signals; empty is the steady clock.
    explicit ScanWorker(QObject* parent = nullptr, ProgressCoalescer::Clock clock = {});
    /// Stops a running scan and waits for its thread.
    ~ScanWorker() override;

    /// Starts a scan; `database` must live until `finished` has been delivered. Unless the
    /// options name a cache, the scan uses the user's verdict cache when that is on.
    void start(ScanOptions options);
    /// Whether scans use the user's verdict cache (on by default).
    void setVerdictCache(bool use) { m_useCache = use; }
    /// Also ends a pause.
    void requestStop();
    bool stopRequested() const { return m_stop.load(); }
    /// Makes the scan wait before its next file or folder until resume() or requestStop().
    void pause();
    void resume();
    /// Whether the scan thread is waiting in a pause.
    bool waiting() const;
    bool running() const { return m_thread.joinable(); }
    /// Waits for the scan thread to end.
    void join();

signals:
    void passStarted(int pass); ///< a ScanPass value
    void totalCounted(quint64 total);
    void fileStarted(const QString& status);
    void detectionListed(const DetectionEntry& entry, quint64 detections);
    /// `percent` is -1 when the display does not change.
    void fileChecked(quint64 checked, int percent, const QString& percentText);
    void finished(const ScanSummary& summary);

private:
    /// The scan's stop test: waits while the scan is paused, then tells whether to stop.
    bool stopOrWait();

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pauseRequested{false};
    mutable std::mutex m_pauseMutex; ///< guards the changes a waiting scan is woken for
    std::condition_variable m_pauseEnded;
    bool m_waiting = false;
    bool m_useCache = true;
    std::thread m_thread;
    ProgressCoalescer::Clock m_clock;
    std::unique_ptr<ScanObserver> m_signals; ///< emits the signals
    std::unique_ptr<ProgressCoalescer> m_progress;
    QTimer* m_flushTimer = nullptr;
};
