#pragma once

#include "scanner/DetectionList.h"
#include "scanner/ProgressCoalescer.h"
#include "scanner/ScanTexts.h"
#include "tools/ui/ToolSettings.h"

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ActionWorker;
class Button;
class EngineWindows;
class ProgressBar;
class QAction;
class QLabel;
class QMenu;
class QTimer;
class QTreeWidget;
class QWindow;
class ExtraSignatures;
class ScanWorker;
class SignatureDatabase;
class ToolWindows;
struct ActionResult;
struct ScanSummary;

/// The main window: scan, clean, quarantine, the tool menu, and the exit. Its parts: the layout
/// (AntivirusLayout.cpp), the scan (AntivirusScan.cpp), the actions on what the scan listed
/// (AntivirusActions.cpp), and the menu, activation and closing (Antivirus.cpp).
class Antivirus final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Antivirus)

public:
    struct Settings {
        std::string databasePath;     ///< the signature database, beside the program by default
        std::string quarantineFolder; ///< without a final separator
        /// Ends the program at once (a missing database); tests replace it.
        std::function<void()> endProgram;
        /// Whether the elapsed clock and the wait animation tick by themselves; tests turn this
        /// off and call Timer1_Timer and Timer2_Timer as the clock.
        bool timersTick = true;
        /// Times how often the scan's per-file progress is shown; empty is the steady clock.
        ProgressCoalescer::Clock progressClock;
        /// What the tool windows show and start; empty members mean the running system.
        ToolSettings tools;
        /// Called on the action's thread just before a listed file is deleted or moved (tests).
        std::function<void(const DetectionEntry& entry)> beforeAct;
        /// Whether scans answer unchanged files from the user's verdict cache.
        bool verdictCache = true;
        /// The folders of signature sources beside the database (hash lists, YARA rules), read
        /// once at start.
        std::vector<std::string> signatureFolders;
    };
    /// The settings of the installed program.
    static Settings DefaultSettings();

    explicit Antivirus(Settings settings, QWidget* parent = nullptr);
    ~Antivirus() override;

    bool scanning() const;
    /// Waits until a running scan has ended (tests, and the close request).
    void waitForScan();
    /// True while the scan waits for the answer to the close question (tests).
    bool scanWaiting() const;
    /// True from a Clean or Quarantine click until the window has shown the action's end.
    bool acting() const { return m_acting; }

public slots:
    void cmdScan_Click();
    void cmdHapus_Click();
    void cmdKarantina_Click();
    void cmdMenu_Click();
    void cmdKeluar_Click();
    void Label9_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    /// The activation check: ends the program when the database is missing; otherwise greets at
    /// the first activation and when the user comes back from another window of the program.
    void Form_Activate();
    void mnuTemp_Click();
    void mnuViewSigna_Click();
    void mnuTool_Click();
    void mnuWinTools_Click();
    void mnuAbout_Click();
    void mnuQuarantine_Click();

    /// The opener of the tool windows (tests reach the windows through it).
    ToolWindows& toolWindows() const { return *m_toolWindows; }

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void buildMenu();
    void setCounts(std::uint64_t total, std::uint64_t checked, std::uint64_t detections);
    void showPercent(int percent, const QString& text);
    void addRow(const DetectionEntry& entry);
    // What the scan reports, shown as it comes.
    void scanPassStarted(int pass);
    void scanTotalCounted(quint64 total);
    void scanDetectionListed(const DetectionEntry& entry, quint64 detections);
    void scanFileChecked(quint64 checked, int percent, const QString& text);
    void scanFinished(const ScanSummary& summary);
    void tindakan(std::string_view aksi);
    // What the action reports, shown as it comes.
    void actionEntryRemoved(quint64 position);
    void actionEntryKept(quint64 position, const QString& information);
    void actionFinished(const ActionResult& result);
    void setScanButtons(bool idle);
    /// Starts one of the two timers unless the tests drive them.
    void runTimer(QTimer* timer);
    /// Notes that one of the program's own windows took over, so that coming back greets.
    void focusWindowChanged(QWindow* window);

    Settings m_settings;
    std::unique_ptr<SignatureDatabase> m_database;
    std::shared_ptr<const ExtraSignatures> m_extra;
    std::unique_ptr<EngineWindows> m_engineWindows;
    std::unique_ptr<ToolWindows> m_toolWindows;
    ScanWorker* m_worker = nullptr;
    ActionWorker* m_actionWorker = nullptr;
    DetectionList m_detections;
    std::uint64_t m_total = 0;
    std::uint64_t m_checked = 0;
    std::uint64_t m_elapsedSeconds = 0;
    ScanTexts::WaitAnimation m_wait;
    ScanTexts::WelcomeLine m_welcome;
    bool m_ending = false;
    bool m_askingToClose = false; ///< the close question is open
    /// The end of a scan that came while the close question was open, shown after the answer.
    std::unique_ptr<ScanSummary> m_finishedWhileAsking;
    bool m_scanActive = false; ///< from the start of a scan until its end has been shown
    bool m_acting = false;     ///< from the start of an action until its end has been shown

    Button* cmdScan = nullptr;
    Button* cmdHapus = nullptr;
    Button* cmdKarantina = nullptr;
    Button* cmdMenu = nullptr;
    Button* cmdKeluar = nullptr;
    QTreeWidget* ListView1 = nullptr;
    ProgressBar* ProgressBar1 = nullptr;
    QLabel* status = nullptr;
    QLabel* lblTotalFile = nullptr;
    QLabel* lblFileDiperiksa = nullptr;
    QLabel* lblJumlahVirus = nullptr;
    QLabel* lblPercentComplete = nullptr;
    QLabel* Label1 = nullptr; // elapsed clock
    QLabel* Label9 = nullptr; // release date, clickable
    QTimer* Timer1 = nullptr; // elapsed clock, 1000 ms
    QTimer* Timer2 = nullptr; // wait animation, 500 ms
    QMenu* mnu = nullptr;
    QAction* m_mnuTemp = nullptr;
    QAction* m_mnuViewSigna = nullptr;
    QAction* m_mnuTool = nullptr;
    QAction* m_mnuWinTools = nullptr;
    QAction* m_mnuAbout = nullptr;
    QAction* m_mnuQuarantine = nullptr;
};
