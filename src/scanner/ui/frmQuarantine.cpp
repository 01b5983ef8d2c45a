#include "scanner/ui/frmQuarantine.h"

#include "controls/Button.h"
#include "controls/FolderDialog.h"
#include "controls/MsgBox.h"
#include "controls/WindowText.h"
#include "scanner/DisplayName.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

Button* button(QWidget* parent, const char* name, const char* caption, const char* toolTip) {
    Button* result =
        Button::programButton(parent, QString::fromLatin1(caption), QString::fromLatin1(toolTip));
    result->setObjectName(QString::fromLatin1(name));
    result->setFixedSize(90, 26);
    return result;
}

} // namespace

frmQuarantine::frmQuarantine(QWidget* mainWindow, std::string quarantineFolder)
    : ToolWindow(mainWindow, QStringLiteral("frmQuarantine"), toQString(QuarantineTexts::kTitle)),
      m_store(std::move(quarantineFolder)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    lblCount = makeLabel(QString(), this, "lblCount");
    layout->addWidget(lblCount);
    lvwQuarantine = new QTreeWidget(this);
    lvwQuarantine->setObjectName(QStringLiteral("lvwQuarantine"));
    lvwQuarantine->setHeaderLabels({QStringLiteral("Location"), QStringLiteral("Threat"),
                                    QStringLiteral("Size"), QStringLiteral("Date")});
    lvwQuarantine->setRootIsDecorated(false);
    lvwQuarantine->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwQuarantine->setAllColumnsShowFocus(true);
    lvwQuarantine->header()->setStretchLastSection(false);
    lvwQuarantine->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    layout->addWidget(lvwQuarantine, 1);
    auto* buttons = new QHBoxLayout;
    cmdRestore = button(this, "cmdRestore", "Restore", "Put the file back where it came from");
    cmdDelete = button(this, "cmdDelete", "Delete", "Delete the file for good");
    Button* cmdClose = button(this, "cmdClose", "Close", "");
    buttons->addWidget(cmdRestore);
    buttons->addWidget(cmdDelete);
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    layout->addLayout(buttons);
    connect(cmdRestore, &Button::Click, this, &frmQuarantine::cmdRestore_Click);
    connect(cmdDelete, &Button::Click, this, &frmQuarantine::cmdDelete_Click);
    connect(cmdClose, &Button::Click, this, &frmQuarantine::cmdClose_Click);
    connect(lvwQuarantine, &QTreeWidget::itemSelectionChanged, this,
            &frmQuarantine::selectionChanged);
    resize(640, 320);
}

frmQuarantine::~frmQuarantine() = default;

void frmQuarantine::Form_Load() {
    lvwQuarantine->clear();
    if (const std::error_code ec = m_store.list(m_items)) {
        m_items.clear();
        lblCount->setText(toQString("Cannot list '" + m_store.folder() + "': " + ec.message()));
    } else {
        lblCount->setText(toQString(QuarantineTexts::CountLine(m_items.size(), m_store.folder())));
    }
    for (const QuarantineItem& item : m_items) {
        const QuarantineRowTexts texts = QuarantineRow(item);
        auto* row =
            new QTreeWidgetItem(lvwQuarantine, {toQString(texts.location), toQString(texts.threat),
                                                toQString(texts.size), toQString(texts.date)});
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        row->setToolTip(0, toQString(DisplayName(item.name)));
    }
    lvwQuarantine->resizeColumnToContents(1);
    lvwQuarantine->resizeColumnToContents(2);
    lvwQuarantine->resizeColumnToContents(3);
    if (!m_items.empty()) {
        lvwQuarantine->setCurrentItem(lvwQuarantine->topLevelItem(0));
    }
    selectionChanged();
}

const QuarantineItem* frmQuarantine::selected() const {
    const QList<QTreeWidgetItem*> rows = lvwQuarantine->selectedItems();
    if (rows.isEmpty()) {
        return nullptr;
    }
    const int index = lvwQuarantine->indexOfTopLevelItem(rows.front());
    return index >= 0 && static_cast<std::size_t>(index) < m_items.size()
               ? &m_items[static_cast<std::size_t>(index)]
               : nullptr;
}

void frmQuarantine::selectionChanged() {
    const QuarantineItem* item = selected();
    cmdRestore->setEnabled(item != nullptr && !item->fileMissing);
    cmdDelete->setEnabled(item != nullptr);
}

void frmQuarantine::cmdRestore_Click() {
    const QuarantineItem* item = selected();
    if (item == nullptr) {
        return;
    }
    std::optional<std::string> toFolder;
    if (!item->recordPresent) {
        // Where it came from is unknown: the user chooses where it goes.
        const std::optional<QString> folder =
            FolderDialog::Choose(this, toQString(QuarantineTexts::kChooseFolderTitle));
        if (!folder) {
            return;
        }
        toFolder = toBytes(*folder);
    }
    const QuarantineOutcome outcome = m_store.restore(item->name, toFolder);
    MsgBox::Show(this, toQString(outcome.message),
                 outcome.done ? MsgBox::kInformation : MsgBox::kExclamation,
                 toQString(QuarantineTexts::kRestoreTitle));
    Form_Load();
}

void frmQuarantine::cmdDelete_Click() {
    const QuarantineItem* item = selected();
    if (item == nullptr) {
        return;
    }
    const QString title = toQString(QuarantineTexts::kDeleteTitle);
    if (MsgBox::Show(this, toQString(QuarantineTexts::DeleteQuestion(item->name)),
                     MsgBox::kQuestion + MsgBox::kYesNo, title) != MsgBox::Yes) {
        return;
    }
    const QuarantineOutcome outcome = m_store.remove(item->name);
    MsgBox::Show(this, toQString(outcome.message),
                 outcome.done ? MsgBox::kInformation : MsgBox::kExclamation, title);
    Form_Load();
}

void frmQuarantine::cmdClose_Click() {
    close();
}
