#pragma once

#include <QPointer>
#include <QWidget>

class Button;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
struct FileInspection;

/// The file inspector: shows one chosen file's checksum text, type, compiler and packer, and lets
/// the user mark that checksum as the temporary database when the window closes. A separate
/// window owned by the main window, which stays disabled while this one is open.
class frmTempDb final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmTempDb)

public:
    explicit frmTempDb(QWidget* mainWindow);
    ~frmTempDb() override;

    /// Disables the main window, takes its icon and starts from the initial texts; run at each
    /// opening.
    void Form_Load();

public slots:
    void cmdBrowse_Click();
    void cmdTutup_Click();

protected:
    /// Enables the main window and, when Check1 is ticked, marks the shown checksum.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    /// Shows the inspection up to its first failed step; later labels and Check1 stay as they were.
    void showInspection(const FileInspection& inspection);

    QPointer<QWidget> m_mainWindow;

    QLineEdit* txtFileName = nullptr;
    Button* cmdBrowse = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* lblChecksum = nullptr;
    QLabel* lblType = nullptr;
    QLabel* lblCompiler = nullptr;
    QLabel* lblPacker = nullptr;
    QCheckBox* Check1 = nullptr;
    Button* cmdTutup = nullptr;
};
