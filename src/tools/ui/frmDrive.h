#pragma once

#include "controls/ToolWindow.h"
#include "tools/SystemInfo.h"

#include <functional>

class QPlainTextEdit;

/// Size, used and free space of every mounted drive, read once at each opening.
class frmDrive final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmDrive)

public:
    using Report = std::function<SystemInfo::DriveReport()>;
    frmDrive(QWidget* mainWindow, Report report);
    ~frmDrive() override;

    void Form_Load() override;

private:
    Report m_report;
    QPlainTextEdit* Text1 = nullptr;
};
