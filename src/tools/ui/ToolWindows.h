#pragma once

#include "tools/ui/ToolSettings.h"

#include <QPointer>
#include <memory>

class QWidget;
class frmAbout;
class frmBrowse;
class frmDrive;
class frmEnc;
class frmHDD;
class frmLock;
class frmMem;
class frmQuarantine;
class frmSystem;
class frmTask;
class frmTools;
class frmWinTools;

/// Opens the tool windows for the main window. Each window exists once: opening it again while
/// it is open brings the same window forward; opening it after it was closed loads it afresh.
/// Every window blocks the rest of the program while it is open (application-modal, shown
/// without a nested event loop) and enables the main window when it closes.
class ToolWindows final {
public:
    ToolWindows(QWidget* mainWindow, const ToolSettings& settings);
    ~ToolWindows();
    ToolWindows(const ToolWindows&) = delete;
    ToolWindows& operator=(const ToolWindows&) = delete;

    /// "Kesto Virus Scanner Tools".
    void showTools();
    /// "Kesto Windows Tools".
    void showWinTools();
    /// "About Kesto Virus Scanner".
    void showAbout();
    void showSystem();
    void showMem();
    void showDrive();
    /// "Get Serial Harddisk".
    void showHdd();
    /// "Kesto -> USB Port Locked".
    void showLock();
    /// "Kesto -> Encrypt File".
    void showEnc();
    /// "Kesto -> Task Manager".
    void showTask();
    /// "Kesto Explorer".
    void showBrowse();
    /// "Kesto -> Quarantine" over the quarantine folder `folder`.
    void showQuarantine(const std::string& folder);

    /// The windows once opened; nullptr before their first opening.
    frmTools* tools() const { return m_tools.get(); }
    frmWinTools* winTools() const { return m_winTools.get(); }
    frmAbout* about() const { return m_about.get(); }
    frmSystem* system() const { return m_system.get(); }
    frmMem* mem() const { return m_mem.get(); }
    frmDrive* drive() const { return m_drive.get(); }
    frmHDD* hdd() const { return m_hdd.get(); }
    frmLock* lock() const { return m_lock.get(); }
    frmEnc* enc() const { return m_enc.get(); }
    frmTask* task() const { return m_task.get(); }
    frmBrowse* browse() const { return m_browse.get(); }
    frmQuarantine* quarantine() const { return m_quarantine.get(); }

private:
    template <class Window, class Make> void open(std::unique_ptr<Window>& window, Make make);

    QPointer<QWidget> m_mainWindow;
    ToolSettings m_settings;
    std::unique_ptr<frmTools> m_tools;
    std::unique_ptr<frmWinTools> m_winTools;
    std::unique_ptr<frmAbout> m_about;
    std::unique_ptr<frmSystem> m_system;
    std::unique_ptr<frmMem> m_mem;
    std::unique_ptr<frmDrive> m_drive;
    std::unique_ptr<frmHDD> m_hdd;
    std::unique_ptr<frmLock> m_lock;
    std::unique_ptr<frmEnc> m_enc;
    std::unique_ptr<frmTask> m_task;
    std::unique_ptr<frmBrowse> m_browse;
    std::unique_ptr<frmQuarantine> m_quarantine;
};
