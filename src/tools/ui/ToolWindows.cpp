#include "tools/ui/ToolWindows.h"

#include "scanner/ui/frmQuarantine.h"
#include "smart/ui/frmHDD.h"
#include "tools/ui/frmAbout.h"
#include "tools/ui/frmBrowse.h"
#include "tools/ui/frmDrive.h"
#include "tools/ui/frmEnc.h"
#include "tools/ui/frmLock.h"
#include "tools/ui/frmMem.h"
#include "tools/ui/frmSystem.h"
#include "tools/ui/frmTask.h"
#include "tools/ui/frmTools.h"
#include "tools/ui/frmWinTools.h"

#include <QWindow>

ToolWindows::ToolWindows(QWidget* mainWindow, const ToolSettings& settings)
    : m_mainWindow(mainWindow), m_settings(settings.resolved()) {}

ToolWindows::~ToolWindows() = default;

template <class Window, class Make>
void ToolWindows::open(std::unique_ptr<Window>& window, Make make) {
    if (!window) {
        window = make();
    }
    if (window->isVisible()) {
        window->raise();
        window->activateWindow();
        return;
    }
    window->Form_Load();
    if (m_mainWindow) {
        // Kept above the main window and centred over it, without being its child.
        QWidget* owner = m_mainWindow->window();
        owner->winId();
        window->winId();
        window->windowHandle()->setTransientParent(owner->windowHandle());
        window->move(owner->frameGeometry().center() - window->rect().center());
    }
    window->show();
    window->activateWindow();
}

void ToolWindows::showTools() {
    open(m_tools, [this] {
        frmTools::Openers openers;
        openers.driveInfo = [this] { showDrive(); };
        openers.memoryStatus = [this] { showMem(); };
        openers.systemInfo = [this] { showSystem(); };
        openers.serialHarddisk = [this] { showHdd(); };
        openers.lockUsbPort = [this] { showLock(); };
        openers.encryptFile = [this] { showEnc(); };
        openers.taskManager = [this] { showTask(); };
        openers.explorer = [this] { showBrowse(); };
        return std::make_unique<frmTools>(m_mainWindow.data(), std::move(openers));
    });
}

void ToolWindows::showWinTools() {
    open(m_winTools, [this] {
        return std::make_unique<frmWinTools>(m_mainWindow.data(), *m_settings.programs);
    });
}

void ToolWindows::showAbout() {
    open(m_about, [this] {
        return std::make_unique<frmAbout>(m_mainWindow.data(), m_settings.programFolder,
                                          m_settings.timersTick, m_settings.guardStateFolder);
    });
}

void ToolWindows::showSystem() {
    open(m_system, [this] {
        return std::make_unique<frmSystem>(m_mainWindow.data(), m_settings.systemRows);
    });
}

void ToolWindows::showMem() {
    open(m_mem, [this] {
        return std::make_unique<frmMem>(m_mainWindow.data(), m_settings.memoryStatus,
                                        m_settings.timersTick);
    });
}

void ToolWindows::showDrive() {
    open(m_drive, [this] {
        return std::make_unique<frmDrive>(m_mainWindow.data(), m_settings.driveReport);
    });
}

void ToolWindows::showHdd() {
    open(m_hdd,
         [this] { return std::make_unique<frmHDD>(m_mainWindow.data(), m_settings.driveInfo); });
}

void ToolWindows::showTask() {
    open(m_task,
         [this] { return std::make_unique<frmTask>(m_mainWindow.data(), frmTask::Sources{}); });
}

void ToolWindows::showLock() {
    open(m_lock, [this] {
        return std::make_unique<frmLock>(m_mainWindow.data(), m_settings.usbLock,
                                         m_settings.timersTick);
    });
}

void ToolWindows::showBrowse() {
    open(m_browse,
         [this] { return std::make_unique<frmBrowse>(m_mainWindow.data(), frmBrowse::Sources{}); });
}

void ToolWindows::showEnc() {
    open(m_enc,
         [this] { return std::make_unique<frmEnc>(m_mainWindow.data(), m_settings.keyFolder); });
}

void ToolWindows::showQuarantine(const std::string& folder) {
    open(m_quarantine,
         [this, &folder] { return std::make_unique<frmQuarantine>(m_mainWindow.data(), folder); });
}
