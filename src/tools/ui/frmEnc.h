#pragma once

#include "controls/ToolWindow.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <system_error>

class Button;
class ProgressBar;
class QLineEdit;
class QThread;
class QTimer;

/// Encrypts or decrypts one file in place with the user's key. The file is rewritten on a
/// worker thread, so the window stays responsive; big files show a progress bar.
class frmEnc final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmEnc)

public:
    frmEnc(QWidget* mainWindow, std::string keyFolder);
    ~frmEnc() override;

    /// Empties both boxes.
    void Form_Load() override;

    /// Whether a file is being rewritten.
    bool busy() const { return m_worker != nullptr; }
    /// Waits for the file being rewritten and shows its outcome (for tests and closing).
    void finishWork();

public slots:
    void Command1_Click();
    void Command2_Click();
    void cmdBrowse1_Click();
    void cmdBrowse2_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void start(const QString& typed, bool encrypt);
    void workDone(std::error_code error);
    void browse(QLineEdit* box);
    /// Shows `percent` on the progress bar, as a bar and as its text.
    void showPercent(int percent);

    std::string m_keyFolder;
    QThread* m_worker = nullptr;
    std::error_code m_result;
    std::atomic<int> m_percent{0};
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    Button* Command1 = nullptr;
    Button* Command2 = nullptr;
    ProgressBar* ProgressBar1 = nullptr;
    QTimer* m_progressTimer = nullptr;
};
