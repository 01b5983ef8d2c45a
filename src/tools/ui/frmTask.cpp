#include "tools/ui/frmTask.h"

#include "controls/Button.h"
#include "controls/MsgBox.h"
#include "controls/WindowText.h"

#include <QBrush>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kRowRole = Qt::UserRole;

/// A process row; the PID column sorts by number, the others by text.
class TaskItem final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        if (column == 2) {
            return data(2, kRowRole).toLongLong() < other.data(2, kRowRole).toLongLong();
        }
        return QTreeWidgetItem::operator<(other);
    }
};

} // namespace

frmTask::frmTask(QWidget* mainWindow, Sources sources)
    : ToolWindow(mainWindow, QStringLiteral("frmTask"), toQString(TaskList::kTitle)),
      m_sources(std::move(sources)) {
    if (!m_sources.rows) {
        m_sources.rows = TaskList::SnapshotRows;
    }
    if (!m_sources.stop) {
        m_sources.stop = TaskList::StopRow;
    }
    if (!m_sources.check) {
        m_sources.check = FileScan::DefaultChecker();
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setHeaderLabels(
        {QString(), QStringLiteral("Process Name"), QStringLiteral("PID"), QStringLiteral("Path")});
    ListView1->header()->setSectionsClickable(true);
    ListView1->header()->setStretchLastSection(true);
    ListView1->setColumnWidth(0, 0);
    ListView1->setColumnHidden(0, true);
    ListView1->setColumnWidth(1, 123);
    ListView1->setColumnWidth(2, 53);
    ListView1->setColumnWidth(3, 243);
    connect(ListView1->header(), &QHeaderView::sectionClicked, this, &frmTask::sortBy);
    layout->addWidget(ListView1);

    auto* buttons = new QHBoxLayout;
    Button1 = Button::programButton(this, QStringLiteral("Stop Process"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = Button::programButton(this, QStringLiteral("Refresh"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = Button::programButton(this, QStringLiteral("Close"));
    Button3->setObjectName(QStringLiteral("Button3"));
    Button4 = Button::programButton(this, QStringLiteral("Check File"));
    Button4->setObjectName(QStringLiteral("Button4"));
    for (Button* button : {Button1, Button2, Button3, Button4}) {
        button->setFixedSize(100, 25);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(Button1, &Button::Click, this, &frmTask::Button1_Click);
    connect(Button2, &Button::Click, this, &frmTask::Button2_Click);
    connect(Button3, &Button::Click, this, &QWidget::close);
    connect(Button4, &Button::Click, this, &frmTask::Button4_Click);
    resize(460, 380);
}

frmTask::~frmTask() = default;

void frmTask::Form_Load() {
    m_sortColumn = -1;
    m_threats.clear();
    ListView1->header()->setSortIndicatorShown(false);
    RefreshProcessList();
}

void frmTask::RefreshProcessList() {
    ListView1->setUpdatesEnabled(false);
    ListView1->clear();
    m_rows = m_sources.rows();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(m_rows.size()));
    for (std::size_t index = 0; index < m_rows.size(); ++index) {
        const TaskList::TaskRow& row = m_rows[index];
        auto* item = new TaskItem;
        item->setText(1, toQString(row.name));
        item->setText(2, toQString(row.pidText));
        item->setText(3, toQString(row.pathText));
        item->setData(0, kRowRole, QVariant::fromValue<qulonglong>(index));
        item->setData(2, kRowRole, QVariant::fromValue<qlonglong>(row.pid));
        const auto threat = m_threats.find({row.pid, row.startTime});
        const QString note = toQString(
            TaskList::RowNote(row, threat == m_threats.end() ? std::string() : threat->second));
        if (!note.isEmpty()) {
            for (int column = 1; column < 4; ++column) {
                item->setForeground(column, QBrush(Qt::darkRed));
                item->setToolTip(column, note);
            }
        }
        items.append(item);
    }
    ListView1->addTopLevelItems(items);
    if (m_sortColumn >= 0) {
        ListView1->sortItems(m_sortColumn, m_sortOrder);
    }
    ListView1->setUpdatesEnabled(true);
}

void frmTask::sortBy(int column) {
    if (column <= 0) {
        return;
    }
    m_sortOrder = column == m_sortColumn && m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                              : Qt::AscendingOrder;
    m_sortColumn = column;
    ListView1->header()->setSortIndicatorShown(true);
    ListView1->header()->setSortIndicator(column, m_sortOrder);
    ListView1->sortItems(column, m_sortOrder);
}

void frmTask::Button1_Click() {
    // Nothing is stopped without a selected row.
    const QTreeWidgetItem* item = ListView1->currentItem();
    if (item == nullptr || !item->isSelected()) {
        return;
    }
    const auto index = item->data(0, kRowRole).toULongLong();
    if (index < m_rows.size()) {
        m_sources.stop(m_rows[index]);
    }
    RefreshProcessList();
}

void frmTask::Button2_Click() {
    RefreshProcessList();
}

void frmTask::Button4_Click() {
    const QTreeWidgetItem* item = ListView1->currentItem();
    if (item == nullptr || !item->isSelected()) {
        return;
    }
    const auto index = item->data(0, kRowRole).toULongLong();
    if (index >= m_rows.size()) {
        return;
    }
    const TaskList::TaskRow row = m_rows[index];
    const std::string path = TaskList::CheckablePath(row);
    FileScan::Report report;
    if (path.empty()) {
        report.problem = row.deleted ? "the executable file has been deleted"
                                     : "the executable path cannot be read";
    } else {
        report = m_sources.check(path);
    }
    if (!report.threat.empty()) {
        m_threats[{row.pid, row.startTime}] = report.threat;
        RefreshProcessList();
    }
    MsgBox::Show(this, toQString(FileScan::ReportText(row.pathText, report)), 64,
                 toQString(TaskList::kTitle));
}
