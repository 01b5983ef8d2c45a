#pragma once

#include <QPointer>
#include <QWidget>
#include <string>

class Button;
class QGroupBox;
class QLabel;
class QListWidget;

/// The signature list: every threat name the scanner can report, numbered, with their total.
/// A separate window owned by the main window, which stays disabled while this one is open.
class frmSignature final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSignature)

public:
    frmSignature(QWidget* mainWindow, std::string databasePath);
    ~frmSignature() override;

    /// Disables the main window and fills the list afresh from the database; run at each opening.
    void Form_Load();

public slots:
    void cmdTutup_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();

    QPointer<QWidget> m_mainWindow;
    std::string m_databasePath;

    QLabel* lblJudul = nullptr;
    QListWidget* List1 = nullptr;
    QLabel* lblJumlahVirus = nullptr;
    QLabel* lblProblem =
        nullptr; // why the list may be incomplete; hidden when the database is sound
    QGroupBox* Frame1 = nullptr;
    Button* cmdTutup = nullptr;
};
