#pragma once

#include "controls/ToolWindow.h"
#include "platform/SystemFacts.h"

#include <array>
#include <functional>

class QLabel;
class QTimer;

/// Physical and virtual memory, refreshed every half second while the window is open.
class frmMem final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMem)

public:
    using Status = std::function<platform::MemoryStatus()>;
    frmMem(QWidget* mainWindow, Status status, bool timerTicks);
    ~frmMem() override;

    /// Shows "Res" in every value label until the first tick, and starts the timer.
    void Form_Load() override;

    QTimer* timer() const { return Timer1; }

public slots:
    void Timer1_Timer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowMemoryStatus();

    Status m_status;
    bool m_timerTicks;
    std::array<QLabel*, 6> lblRes{};
    QTimer* Timer1 = nullptr;
};
