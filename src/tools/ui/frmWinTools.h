#pragma once

#include "controls/ToolWindow.h"
#include "tools/SystemPrograms.h"

#include <array>
#include <optional>

/// The Windows-tools window: five buttons, each starting the installed stand-in of a Windows
/// program. A button whose program is not installed is disabled.
class frmWinTools final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmWinTools)

public:
    frmWinTools(QWidget* mainWindow, SystemPrograms::Environment environment);
    ~frmWinTools() override;

    /// Looks the programs up again, so that one installed meanwhile is found.
    void Form_Load() override;

    void start(SystemPrograms::Tool tool);

private:
    SystemPrograms::Environment m_environment;
    std::array<std::optional<SystemPrograms::Launch>, SystemPrograms::kTools.size()> m_launches;
    std::array<QWidget*, SystemPrograms::kTools.size()> m_buttons{};
};
