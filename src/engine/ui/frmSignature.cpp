#include "engine/ui/frmSignature.h"

#include "controls/Button.h"
#include "controls/WindowText.h"
#include "engine/SignatureList.h"
#include "signatures/ExtraSignatures.h"

#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <string_view>

namespace {

void setBold(QWidget& widget) {
    QFont bold = widget.font();
    bold.setBold(true);
    widget.setFont(bold);
}

constexpr int kListWidth = 270;
constexpr int kListHeight = 300;

} // namespace

frmSignature::frmSignature(QWidget* mainWindow, std::string databasePath,
                           std::shared_ptr<const ExtraSignatures> extra)
    : QWidget(nullptr, Qt::Dialog), m_mainWindow(mainWindow),
      m_databasePath(std::move(databasePath)), m_extra(std::move(extra)) {
    setObjectName(QStringLiteral("frmSignature"));
    setWindowTitle(QStringLiteral("Kesto -> Virus Signatures"));
    buildWindow();
}

frmSignature::~frmSignature() = default;

void frmSignature::buildWindow() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(14, 10, 14, 12);
    outer->setSpacing(8);

    lblJudul = makeLabel(QStringLiteral("Virus Signatures List"), this, "lblJudul");
    lblJudul->setFont(QFont(QStringLiteral("Arial"), 14, QFont::Bold));
    lblJudul->setStyleSheet(QStringLiteral("color: rgb(39, 64, 139);"));
    outer->addWidget(lblJudul);

    auto* body = new QHBoxLayout;
    body->setSpacing(16);

    // The list with its total and, when the database is unsound, a note on why.
    auto* listColumn = new QVBoxLayout;
    listColumn->setSpacing(4);
    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setFixedSize(kListWidth, kListHeight);
    List1->setUniformItemSizes(true);
    listColumn->addWidget(List1);
    lblJumlahVirus = makeLabel(QString(), this, "lblJumlahVirus");
    setBold(*lblJumlahVirus);
    listColumn->addWidget(lblJumlahVirus);
    lblProblem = makeLabel(QString(), this, "lblProblem");
    lblProblem->setWordWrap(true);
    lblProblem->setFixedWidth(kListWidth);
    lblProblem->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));
    lblProblem->hide();
    listColumn->addWidget(lblProblem);
    listColumn->addStretch();
    body->addLayout(listColumn);

    // The fixed figures of this release, with the close button below them.
    auto* right = new QVBoxLayout;
    right->setSpacing(8);
    Frame1 = new QGroupBox(QStringLiteral("Details Signatures"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto* details = new QGridLayout(Frame1);
    details->setContentsMargins(12, 10, 12, 10);
    details->setHorizontalSpacing(8);
    details->setVerticalSpacing(6);
    const auto detailRow = [&](int row, const std::string& caption, const std::string& value) {
        details->addWidget(makeLabel(QString::fromStdString(caption), Frame1), row, 0);
        details->addWidget(makeLabel(QStringLiteral(":"), Frame1), row, 1);
        QLabel* shown = makeLabel(QString::fromStdString(value), Frame1);
        setBold(*shown);
        details->addWidget(shown, row, 2);
    };
    detailRow(0, "Latest Update", "14/08/2010");
    detailRow(1, "Main Database", "2879");
    auto* line = new QFrame(Frame1);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    details->addWidget(line, 2, 0, 1, 3);
    detailRow(3, "Total Signatures", "2879");
    // One line per extra signature source that gave signatures, by its file name.
    int row = 4;
    if (m_extra) {
        for (const SignatureSourceInfo& source : m_extra->sources()) {
            if (!source.refused) {
                detailRow(row++, SourceFileName(source), SourceCountText(source));
            }
        }
    }
    details->setColumnStretch(2, 1);
    right->addWidget(Frame1);
    right->addStretch();
    cmdTutup = Button::programButton(this, QStringLiteral("Close"));
    cmdTutup->setObjectName(QStringLiteral("cmdTutup"));
    cmdTutup->setFixedSize(104, 30);
    connect(cmdTutup, &Button::Click, this, &frmSignature::cmdTutup_Click);
    right->addWidget(cmdTutup, 0, Qt::AlignRight);
    body->addLayout(right, 1);
    outer->addLayout(body);
}

void frmSignature::Form_Load() {
    if (m_mainWindow) {
        m_mainWindow->setEnabled(false);
    }
    const SignatureList list = BuildSignatureList(m_databasePath);
    List1->clear();
    QStringList items;
    items.reserve(static_cast<qsizetype>(list.items.size()));
    for (const std::string& item : list.items) {
        items.push_back(toQString(item));
    }
    List1->addItems(items);
    lblJumlahVirus->setText(toQString(list.totalLine));
    lblProblem->setText(list.problem.empty()
                            ? QString()
                            : QStringLiteral("Database problem: ") + toQString(list.problem));
    lblProblem->setToolTip(lblProblem->text());
    lblProblem->setVisible(!list.problem.empty());

    // The note takes the lines it needs at the list's width; the window fits around it.
    lblProblem->setFixedHeight(list.problem.empty() ? 0 : lblProblem->heightForWidth(kListWidth));
    // A fixed-size label does not invalidate its layouts; activating refreshes them all.
    layout()->invalidate();
    layout()->activate();
    setFixedSize(layout()->totalSizeHint());
}

void frmSignature::cmdTutup_Click() {
    close();
}

void frmSignature::closeEvent(QCloseEvent* event) {
    if (m_mainWindow) {
        m_mainWindow->setEnabled(true);
    }
    event->accept();
}
