#pragma once

#include "controls/ToolWindow.h"
#include "smart/mSMARTDef.h"

#include <functional>

class QComboBox;
class QLabel;
class QPlainTextEdit;

/// The disk health window: pick one of the four drive slots and read its identity and SMART
/// attribute table, with a health verdict and the raw values below.
class frmHDD final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmHDD)

public:
    /// Asks one slot (0..3) for its record.
    using Query = std::function<mSMARTDef::DriveInfo(int slot)>;
    frmHDD(QWidget* mainWindow, Query query);
    ~frmHDD() override;

    void Form_Load() override;
    /// Shows the drive in the slot chosen in Combo1.
    void Combo1_Click();

private:
    Query m_query;
    QComboBox* Combo1 = nullptr;
    QLabel* Label1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QLabel* lblHealth = nullptr;
    QPlainTextEdit* txtVerdicts = nullptr;
};
