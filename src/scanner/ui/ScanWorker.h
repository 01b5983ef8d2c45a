#pragma once

#include "scanner/ScanSession.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

class SignatureDatabase;

Q_DECLARE_METATYPE(DetectionEntry)
Q_DECLARE_METATYPE(ScanSummary)

/// Runs a folder scan on its own thread and hands every report to the window thread as a queued
/// signal, in the order the scan made them. A stop request is seen before the next file.
class ScanWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScanWorker)

public:
    explicit ScanWorker(QObject* parent = nullptr);
    /// Stops a running scan and waits for its thread.
    ~ScanWorker() override;

    /// Starts a scan; `database` must live until `finished` has been delivered.
    void start(ScanOptions options);
    void requestStop() { m_stop.store(true); }
    bool stopRequested() const { return m_stop.load(); }
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
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
