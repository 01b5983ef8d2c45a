#include "scanner/ui/ActionWorker.h"

#include "controls/WindowText.h"

namespace {

/// Turns the action's reports into the worker's signals, emitted on the action's thread.
class SignalObserver final : public ActionObserver {
public:
    explicit SignalObserver(ActionWorker& worker) : m_worker(worker) {}

    void entryRemoved(std::size_t position) override { emit m_worker.entryRemoved(position); }
    void entryKept(std::size_t position, const DetectionEntry& entry, const std::string&) override {
        emit m_worker.entryKept(position, toQString(entry.information));
    }
    void progressChanged(int percent, const std::string& text) override {
        emit m_worker.progressChanged(percent, toQString(text));
    }

private:
    ActionWorker& m_worker;
};

} // namespace

ActionWorker::ActionWorker(QObject* parent)
    : QObject(parent), m_signals(std::make_unique<SignalObserver>(*this)) {
    qRegisterMetaType<ActionResult>();
}

ActionWorker::~ActionWorker() {
    join();
}

void ActionWorker::start(std::string_view aksi, DetectionList list, ActionOptions options) {
    join();
    m_list = std::move(list);
    m_thread = std::thread([this, aksi = std::string(aksi), options = std::move(options)] {
        const ActionResult result = ::tindakan(aksi, m_list, options, *m_signals);
        emit finished(result);
    });
}

void ActionWorker::join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
