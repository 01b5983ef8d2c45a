#include "tools/ui/frmDrive.h"

#include "controls/WindowText.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

frmDrive::frmDrive(QWidget* mainWindow, Report report)
    : ToolWindow(mainWindow, QStringLiteral("frmDrive"), toQString(SystemInfo::kDriveTitle)),
      m_report(std::move(report)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(Text1);
    resize(330, 300);
}

frmDrive::~frmDrive() = default;

void frmDrive::Form_Load() {
    const SystemInfo::DriveReport report = m_report();
    // The report keeps CR LF; the box shows each as one line break.
    QString text = toQString(report.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text1->setPlainText(text);
    const QString details = toQString(report.details);
    Text1->setToolTip(details);
    Text1->viewport()->setToolTip(details);
}
