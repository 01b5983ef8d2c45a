#pragma once

#include "controls/ToolWindow.h"

#include <string>

class Button;
class QFrame;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QTimer;

/// The About window: version facts, the engine in use and whether the real-time guard runs,
/// scrolling credits, the maker's web site and the read-me.
class frmAbout final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmAbout)

public:
    /// `guardStateFolder` holds the guard's status file (empty: the system's folder).
    frmAbout(QWidget* mainWindow, std::string programFolder, bool timerTicks,
             const std::string& guardStateFolder);
    ~frmAbout() override;

    /// Disables the main window, takes its icon and starts the credits from the top.
    void Form_Load() override;

    /// The credits' top inside their viewport, in twips.
    int creditsTop() const { return m_creditsTop; }
    QTimer* timer() const { return Timer1; }

public slots:
    void Timer1_Timer();
    void cmdVisitMe_Click();
    void Button1_Click();
    void cmd_tutup_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void placeCredits(int top);

    std::string m_programFolder;
    bool m_timerTicks;
    int m_creditsTop = 0;
    QLabel* Image1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* m_engine = nullptr;
    QFrame* Picture1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QTimer* Timer1 = nullptr;
    Button* cmdVisitMe = nullptr;
    Button* Button1 = nullptr;
    Button* cmd_tutup = nullptr;
};
