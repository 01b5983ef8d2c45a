#include "engine/ui/frmTempDb.h"

#include "controls/Button.h"
#include "controls/WindowText.h"
#include "controls/cCommonDialog.h"
#include "engine/FileInspection.h"
#include "engine/KestoEngine.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <cstdint>

namespace {} // namespace

frmTempDb::frmTempDb(QWidget* mainWindow) : QWidget(nullptr, Qt::Dialog), m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("frmTempDb"));
    setWindowTitle(QStringLiteral("Kesto -> Temporary Database"));
    buildWindow();
}

frmTempDb::~frmTempDb() = default;

void frmTempDb::buildWindow() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(14, 10, 14, 12);
    outer->setSpacing(6);

    outer->addWidget(makeLabel(QStringLiteral("Browse application you suspect"), this, "Label1"));
    auto* browseRow = new QHBoxLayout;
    browseRow->setSpacing(6);
    txtFileName = new QLineEdit(this);
    txtFileName->setObjectName(QStringLiteral("txtFileName"));
    txtFileName->setReadOnly(true);
    txtFileName->setMinimumWidth(330);
    browseRow->addWidget(txtFileName, 1);
    cmdBrowse = Button::programButton(this, QStringLiteral("...."));
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    cmdBrowse->setFixedSize(40, txtFileName->sizeHint().height());
    connect(cmdBrowse, &Button::Click, this, &frmTempDb::cmdBrowse_Click);
    browseRow->addWidget(cmdBrowse);
    outer->addLayout(browseRow);
    outer->addSpacing(4);

    // Caption, colon and value in their own columns, so the colons line up in any font.
    Frame1 = new QGroupBox(QStringLiteral("File Information"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto* information = new QGridLayout(Frame1);
    information->setContentsMargins(12, 10, 12, 10);
    information->setHorizontalSpacing(8);
    information->setVerticalSpacing(6);
    const auto informationRow = [&](int row, const char* caption, QLabel*& value,
                                    const char* valueName) {
        information->addWidget(makeLabel(QString::fromLatin1(caption), Frame1), row, 0);
        information->addWidget(makeLabel(QStringLiteral(":"), Frame1), row, 1);
        value = makeLabel(QString(), Frame1, valueName);
        QFont bold = value->font();
        bold.setBold(true);
        value->setFont(bold);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        information->addWidget(value, row, 2);
    };
    informationRow(0, "Checksum  ", lblChecksum, "lblChecksum");
    informationRow(1, "Type         ", lblType, "lblType");
    informationRow(2, "Compiler    ", lblCompiler, "lblCompiler");
    informationRow(3, "Packer      ", lblPacker, "lblPacker");
    information->setColumnStretch(2, 1);
    outer->addWidget(Frame1);
    outer->addSpacing(4);

    auto* bottomRow = new QHBoxLayout;
    Check1 = new QCheckBox(QStringLiteral("Mark as viruses"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setToolTip(QStringLiteral("Klik checkbox ini untuk menandai virus."));
    bottomRow->addWidget(Check1);
    bottomRow->addStretch();
    cmdTutup = Button::programButton(this, QStringLiteral("Close"));
    cmdTutup->setObjectName(QStringLiteral("cmdTutup"));
    cmdTutup->setFixedSize(104, 30);
    connect(cmdTutup, &Button::Click, this, &frmTempDb::cmdTutup_Click);
    bottomRow->addWidget(cmdTutup);
    outer->addLayout(bottomRow);

    setFixedSize(sizeHint());
}

void frmTempDb::Form_Load() {
    if (m_mainWindow) {
        m_mainWindow->setEnabled(false);
        setWindowIcon(m_mainWindow->windowIcon());
    }
    txtFileName->clear();
    for (QLabel* value : {lblChecksum, lblType, lblCompiler, lblPacker}) {
        value->clear();
    }
    // Nothing can be marked before a file has been chosen.
    Check1->setChecked(false);
    Check1->setEnabled(false);
}

void frmTempDb::cmdBrowse_Click() {
    cCommonDialog dialog;
    QString fileName;
    QString fileTitle;
    bool readOnly = false;
    QString filter = QStringLiteral("All (*.*)| *.*");
    int filterIndex = 1;
    std::uint32_t flags = 0;
    if (!dialog.VBGetOpenFileName(fileName, fileTitle, true, false, readOnly, false, filter,
                                  filterIndex, QString(), QString(), QString(), this, flags)) {
        return;
    }
    const QString path = QDir::toNativeSeparators(fileName);
    txtFileName->setText(path);
    showInspection(InspectFile(toBytes(path)));
}

void frmTempDb::showInspection(const FileInspection& inspection) {
    lblChecksum->setText(toQString(inspection.checksum));
    if (!inspection.packer) {
        return;
    }
    lblPacker->setText(toQString(*inspection.packer));
    if (!inspection.compiler) {
        return;
    }
    lblCompiler->setText(toQString(*inspection.compiler));
    if (!inspection.type) {
        return;
    }
    lblType->setText(toQString(*inspection.type));
    if (!inspection.canMark) {
        return;
    }
    // Disabling keeps the tick: a ticked box still marks when the window closes.
    Check1->setEnabled(*inspection.canMark);
}

void frmTempDb::cmdTutup_Click() {
    close();
}

void frmTempDb::closeEvent(QCloseEvent* event) {
    if (m_mainWindow) {
        m_mainWindow->setEnabled(true);
    }
    if (const auto mark = ChecksumToMark(Check1->isChecked(), lblChecksum->text().toStdString())) {
        KestoEngine::SetTempDbChecksum(*mark);
    }
    event->accept();
}
