#pragma once

#include "controls/ToolWindow.h"

#include <functional>

class Button;

/// The scanner-tools window: eight buttons, each opening one of the program's tool windows.
class frmTools final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmTools)

public:
    /// How each button opens its window; an empty opener leaves its button disabled.
    struct Openers {
        std::function<void()> encryptFile;
        std::function<void()> taskManager;
        std::function<void()> driveInfo;
        std::function<void()> memoryStatus;
        std::function<void()> systemInfo;
        std::function<void()> serialHarddisk;
        std::function<void()> lockUsbPort;
        std::function<void()> explorer;
    };
    frmTools(QWidget* mainWindow, Openers openers);
    ~frmTools() override;

private:
    Openers m_openers;
};
