#include "scanner/ui/ScanWorker.h"

#include "controls/WindowText.h"

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

ScanWorker::ScanWorker(QObject* parent) : QObject(parent) {
    qRegisterMetaType<DetectionEntry>();
    qRegisterMetaType<ScanSummary>();
}

ScanWorker::~ScanWorker() {
    requestStop();
    join();
}

void ScanWorker::start(ScanOptions options) {
    join();
    m_stop.store(false);
    m_thread = std::thread([this, options = std::move(options)] {
        SignalObserver observer(*this);
        RunScan(options, observer, [this] { return m_stop.load(); });
    });
}

void ScanWorker::join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
