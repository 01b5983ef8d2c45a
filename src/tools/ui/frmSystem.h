#pragma once

#include "controls/ToolWindow.h"
#include "tools/SystemInfo.h"

#include <functional>

class QLineEdit;

/// User name, Windows folder and system folder, read once at each opening.
class frmSystem final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSystem)

public:
    using Rows = std::function<std::array<SystemInfo::SystemRow, 3>()>;
    frmSystem(QWidget* mainWindow, Rows rows);
    ~frmSystem() override;

    void Form_Load() override;

private:
    Rows m_rows;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
};
