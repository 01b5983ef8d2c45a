#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>

class Button;
class ExtraSignatures;
class QGroupBox;
class QLabel;
class QListWidget;

/// The signature list: every threat name the scanner can report, numbered, with their total.
/// A separate window owned by the main window, which stays disabled while this one is open. The
/// details below the fixed figures add a line per extra signature source with its count.
class frmSignature final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSignature)

public:
    frmSignature(QWidget* mainWindow, std::string databasePath,
                 std::shared_ptr<const ExtraSignatures> extra = nullptr);
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
    std::shared_ptr<const ExtraSignatures> m_extra;

    QLabel* lblJudul = nullptr;
    QListWidget* List1 = nullptr;
    QLabel* lblJumlahVirus = nullptr;
    QLabel* lblProblem =
        nullptr; // why the list may be incomplete; hidden when the database is sound
    QGroupBox* Frame1 = nullptr;
    Button* cmdTutup = nullptr;
};
