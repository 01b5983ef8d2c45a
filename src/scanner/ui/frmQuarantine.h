#pragma once

#include "controls/ToolWindow.h"
#include "scanner/QuarantineStore.h"

#include <vector>

class Button;
class QLabel;
class QTreeWidget;

/// The files in the quarantine folder with where they came from; Restore puts the selected one
/// back, Delete removes it for good after asking.
class frmQuarantine final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmQuarantine)

public:
    frmQuarantine(QWidget* mainWindow, std::string quarantineFolder);
    ~frmQuarantine() override;

    /// Lists the folder afresh.
    void Form_Load() override;

public slots:
    void cmdRestore_Click();
    void cmdDelete_Click();
    void cmdClose_Click();

private:
    /// The item of the selected row, or nullptr.
    const QuarantineItem* selected() const;
    void selectionChanged();

    QuarantineStore m_store;
    std::vector<QuarantineItem> m_items;
    QTreeWidget* lvwQuarantine = nullptr;
    QLabel* lblCount = nullptr;
    Button* cmdRestore = nullptr;
    Button* cmdDelete = nullptr;
};
