#pragma once

#include "controls/ToolWindow.h"
#include "tools/UsbLock.h"

#include <memory>

class Button;
class QLabel;
class QTimer;

/// Locks and un-locks USB storage and shows the current state, polled every 100 ms.
class frmLock final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmLock)

public:
    frmLock(QWidget* mainWindow, modReg::Locations where, bool timerTicks);
    ~frmLock() override;

    /// Shows the design-time state until the first tick and starts the poll.
    void Form_Load() override;

    QTimer* timer() const { return Timer1; }
    /// How often the poll read the rule file.
    int ruleReads() const { return m_watcher ? m_watcher->reads() : 0; }

public slots:
    void Timer1_Timer();
    void cmdLock_Click();
    void cmdUnLock_Click();
    void Command1_Click();
    void Command2_Click();
    void cmdExit_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showState(std::uint32_t state);
    void changeLock(bool lock);

    modReg::Locations m_where;
    bool m_timerTicks;
    std::unique_ptr<UsbLock::StartWatcher> m_watcher;
    Button* cmdLock = nullptr;
    Button* cmdUnLock = nullptr;
    QLabel* imgLock = nullptr;
    QLabel* imgUnLock = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label4 = nullptr;
    QTimer* Timer1 = nullptr;
};
