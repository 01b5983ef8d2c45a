#pragma once

#include "scanner/DetectionActions.h"

#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <thread>

Q_DECLARE_METATYPE(ActionResult)

/// Runs Clean or Quarantine on its own thread and hands the action's reports to the window thread
/// as signals, in the order the action made them. All signals are emitted on the action's thread:
/// connect them with Qt::QueuedConnection.
class ActionWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActionWorker)

public:
    explicit ActionWorker(QObject* parent = nullptr);
    /// Waits for a running action: it is never cut off halfway through a file.
    ~ActionWorker() override;

    /// Starts `aksi` on `list`; whatever `options` refer to must live until `finished` has been
    /// delivered.
    void start(std::string_view aksi, DetectionList list, ActionOptions options);
    /// Waits for the action's thread to end.
    void join();
    /// The list as the action left it: the entries it could not handle. Call after `join`.
    DetectionList takeList() { return std::move(m_list); }

signals:
    /// The entry at `position` (counted from 1) was handled and leaves the list.
    void entryRemoved(quint64 position);
    /// The entry at `position` stays listed; `information` says why.
    void entryKept(quint64 position, const QString& information);
    void progressChanged(int percent, const QString& text);
    void finished(const ActionResult& result);

private:
    std::thread m_thread;
    DetectionList m_list;
    std::unique_ptr<ActionObserver> m_signals; ///< emits the signals
};
