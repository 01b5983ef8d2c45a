#include "tools/ui/frmBrowse.h"

#include "controls/Button.h"
#include "controls/MsgBox.h"
#include "controls/WindowText.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "scanner/DisplayName.h"
#include "tools/ui/Shell.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <clocale>

/// The file table's rows, shown without copying them into widget items, so a folder of a
/// hundred thousand files fills at once.
class FileTableModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<Explorer::FileRow> rows) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    const std::vector<Explorer::FileRow>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 4; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_rows.size()) {
            return {};
        }
        const Explorer::FileRow& row = m_rows[static_cast<std::size_t>(index.row())];
        if (role == Qt::DisplayRole) {
            switch (index.column()) {
            case 0:
                return toQString(row.pathText);
            case 1:
                return toQString(row.sizeText);
            case 2:
                return toQString(row.typeText);
            default:
                return toQString(row.timeText);
            }
        }
        // The whole path, however narrow the column.
        if (role == Qt::ToolTipRole && index.column() == 0) {
            return toQString(row.pathText);
        }
        // What a click on a column header sorts by: sizes and times by their value.
        if (role == Qt::UserRole) {
            switch (index.column()) {
            case 1:
                return QVariant::fromValue<qulonglong>(row.size);
            case 3:
                return QVariant::fromValue<qlonglong>(row.modified);
            case 0:
                return toQString(row.pathText);
            default:
                return toQString(row.typeText);
            }
        }
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < 4) {
            return toQString(Explorer::kColumns[static_cast<std::size_t>(section)]);
        }
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    std::vector<Explorer::FileRow> m_rows;
};

namespace {

/// The folder the program was started in, in the core's form of a path; the first drive when it
/// cannot be told.
std::string currentFolder(const std::vector<std::string>& drives) {
    const std::string folder = platform::absolutePath(".");
    return folder.empty() ? drives.front() : folder;
}

} // namespace

frmBrowse::frmBrowse(QWidget* mainWindow, Sources sources)
    : ToolWindow(mainWindow, QStringLiteral("frmBrowse"), toQString(Explorer::kTitle)),
      m_sources(std::move(sources)) {
    if (!m_sources.drives) {
        m_sources.drives = Explorer::DriveRoots;
    }
    if (!m_sources.probe) {
        m_sources.probe = platform::probeFolder;
    }
    if (!m_sources.listFiles) {
        m_sources.listFiles = platform::listBrowseFiles;
    }
    if (!m_sources.check) {
        m_sources.check = FileScan::DefaultChecker();
    }

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    auto* left = new QVBoxLayout;
    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    left->addWidget(Drive1);
    Dir1 = new QListWidget(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setMinimumWidth(170);
    left->addWidget(Dir1, 1);
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    for (const std::string_view item : Explorer::kFilterItems) {
        Combo1->addItem(toQString(item));
    }
    left->addWidget(Combo1);
    layout->addLayout(left);

    auto* right = new QVBoxLayout;
    PropertiesList = new QTableView(this);
    PropertiesList->setObjectName(QStringLiteral("PropertiesList"));
    PropertiesList->setFont(QFont(QStringLiteral("Arial"), 8));
    m_model = new FileTableModel(this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(Qt::UserRole);
    PropertiesList->setModel(m_sorted);
    PropertiesList->setSelectionBehavior(QAbstractItemView::SelectRows);
    PropertiesList->setSelectionMode(QAbstractItemView::SingleSelection);
    PropertiesList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PropertiesList->setShowGrid(false);
    // One line per row: a path too long for its column is cut in the middle, not wrapped at a
    // separator, so that the file's name stays in sight.
    PropertiesList->setWordWrap(false);
    PropertiesList->setTextElideMode(Qt::ElideMiddle);
    PropertiesList->verticalHeader()->hide();
    PropertiesList->verticalHeader()->setDefaultSectionSize(18);
    PropertiesList->horizontalHeader()->setSectionsClickable(true);
    PropertiesList->setColumnWidth(0, 187);
    PropertiesList->setColumnWidth(1, 101);
    PropertiesList->setColumnWidth(2, 70);
    PropertiesList->setColumnWidth(3, 145);
    right->addWidget(PropertiesList, 1);
    lblFileNum = makeLabel(toQString(Explorer::kFileNumDesign), this, "lblFileNum");
    lblFileSort = makeLabel(toQString(Explorer::kFileSortDesign), this, "lblFileSort");
    lblDirSize = makeLabel(toQString(Explorer::kDirSizeDesign), this, "lblDirSize");
    right->addWidget(lblFileNum);
    right->addWidget(lblFileSort);
    right->addWidget(lblDirSize);
    auto* buttons = new QHBoxLayout;
    cmdRemove = Button::programButton(this, QStringLiteral("Run File"));
    cmdRemove->setObjectName(QStringLiteral("cmdRemove"));
    Button1 = Button::programButton(this, QStringLiteral("Close"));
    Button1->setObjectName(QStringLiteral("Button1"));
    cmdScan = Button::programButton(this, QStringLiteral("Scan File"));
    cmdScan->setObjectName(QStringLiteral("cmdScan"));
    buttons->addStretch();
    for (Button* button : {cmdScan, cmdRemove, Button1}) {
        button->setFixedSize(100, 25);
        buttons->addWidget(button);
    }
    right->addLayout(buttons);
    layout->addLayout(right, 1);

    connect(Combo1, &QComboBox::activated, this, &frmBrowse::Combo1_Click);
    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmBrowse::Drive1_Change);
    connect(Dir1, &QListWidget::itemActivated, this, [this](const QListWidgetItem* item) {
        const auto index = item->data(Qt::UserRole).toULongLong();
        if (index < m_chain.size()) {
            // A copy: the change rebuilds the chain.
            const std::string folder = m_chain[index].path;
            Dir1_Change(folder);
        }
    });
    connect(Dir1, &QListWidget::itemClicked, this, &frmBrowse::Dir1_Click);
    connect(PropertiesList, &QTableView::doubleClicked, this, &frmBrowse::cmdRemove_Click);
    connect(cmdRemove, &Button::Click, this, &frmBrowse::cmdRemove_Click);
    connect(Button1, &Button::Click, this, &QWidget::close);
    connect(cmdScan, &Button::Click, this, &frmBrowse::cmdScan_Click);
    connect(PropertiesList->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) {
                QHeaderView* header = PropertiesList->horizontalHeader();
                const Qt::SortOrder order =
                    m_sorted->sortColumn() == column && m_sorted->sortOrder() == Qt::AscendingOrder
                        ? Qt::DescendingOrder
                        : Qt::AscendingOrder;
                header->setSortIndicatorShown(true);
                header->setSortIndicator(column, order);
                m_sorted->sort(column, order);
            });
    resize(800, 440);
}

frmBrowse::~frmBrowse() = default;

void frmBrowse::Form_Load() {
    if (const lconv* numbers = std::localeconv(); numbers != nullptr &&
                                                  numbers->decimal_point != nullptr &&
                                                  numbers->decimal_point[0] != '\0') {
        m_decimalSeparator = numbers->decimal_point[0];
    }
    DriveChanging = false;
    // The boxes take the table's colours.
    for (QWidget* box : std::initializer_list<QWidget*>{Drive1, Dir1}) {
        QPalette colours = box->palette();
        colours.setColor(QPalette::Base, PropertiesList->palette().color(QPalette::Base));
        colours.setColor(QPalette::Text, PropertiesList->palette().color(QPalette::Text));
        box->setPalette(colours);
    }
    Combo1->setCurrentIndex(0);
    m_sorted->sort(-1);
    PropertiesList->horizontalHeader()->setSortIndicatorShown(false);
    m_drives = m_sources.drives();
    if (m_drives.empty()) {
        m_drives.emplace_back(1, platform::kPathSeparator);
    }
    const std::string start =
        m_sources.startFolder.empty() ? currentFolder(m_drives) : m_sources.startFolder;
    {
        const QSignalBlocker quiet(Drive1);
        Drive1->clear();
        for (const std::string& drive : m_drives) {
            Drive1->addItem(toQString(DisplayName(drive)));
        }
    }
    selectDriveQuietly(Explorer::DriveOf(start, m_drives));
    fillFolderBox(start);
    setFolderPath(start);
    RefreshFileList();
    Total_Size();
}

std::string frmBrowse::rowPath(int row) const {
    const QModelIndex source = m_sorted->mapToSource(m_sorted->index(row, 0));
    if (!source.isValid()) {
        return {};
    }
    return m_model->rows()[static_cast<std::size_t>(source.row())].path;
}

Explorer::Filter frmBrowse::filter() const {
    return Explorer::FilterAt(Combo1->currentIndex());
}

void frmBrowse::setFolderPath(const std::string& folder) {
    m_folder = folder;
    readFolder();
    Total_Size();
}

void frmBrowse::readFolder() {
    // A folder that cannot be listed has no files; the table says that it is not accessible.
    m_listError = m_sources.listFiles(m_folder, m_files);
    if (m_listError) {
        m_files.clear();
    }
}

void frmBrowse::fillFolderBox(const std::string& folder) {
    std::vector<std::string> subfolders;
    if (platform::listSubfolders(folder, subfolders)) {
        subfolders.clear();
    }
    Dir1->clear();
    m_chain = Explorer::FolderChain(folder, std::move(subfolders));
    for (std::size_t index = 0; index < m_chain.size(); ++index) {
        const Explorer::ChainEntry& entry = m_chain[index];
        auto* item = new QListWidgetItem(
            QString(entry.depth * 2, QLatin1Char(' ')) +
                (entry.open ? QStringLiteral("\u25BE ") : QStringLiteral("\u25B8 ")) +
                toQString(entry.label),
            Dir1);
        item->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(index));
        if (entry.path == folder) {
            Dir1->setCurrentItem(item);
        }
    }
}

void frmBrowse::selectDriveQuietly(const std::string& mountPoint) {
    const QSignalBlocker quiet(Drive1);
    const auto found = std::find(m_drives.begin(), m_drives.end(), mountPoint);
    Drive1->setCurrentIndex(found == m_drives.end() ? -1
                                                    : static_cast<int>(found - m_drives.begin()));
}

void frmBrowse::RefreshFileList() {
    if (DriveChanging) {
        return;
    }
    Explorer::Listing listing =
        m_listError ? Explorer::NotAccessibleListing(m_folder, m_listError.message())
                    : Explorer::BuildListing(m_folder, m_files, filter(), m_decimalSeparator);
    PropertiesList->setUpdatesEnabled(false);
    m_model->setRows(std::move(listing.rows));
    PropertiesList->setUpdatesEnabled(true);
    lblFileNum->setText(toQString(listing.countText));
    lblFileSort->setText(toQString(listing.sortText));
    if (m_model->rows().empty()) {
        lblDirSize->setText(toQString(listing.totalText));
    }
}

void frmBrowse::Total_Size() {
    lblDirSize->setText(toQString(Explorer::TotalText(m_files, filter(), m_decimalSeparator)));
}

void frmBrowse::Combo1_Click() {
    // The folder is read again, as the file list box does when its filter changes; the total
    // line keeps its value until the next folder change.
    readFolder();
    RefreshFileList();
}

void frmBrowse::Dir1_Change(const std::string& folder) {
    lblFileNum->setText(toQString(Explorer::kCounting));
    lblFileSort->setText(toQString(Explorer::kDetermining));
    lblDirSize->setText(toQString(Explorer::kCalculating));
    m_model->setRows({});
    lblFileNum->repaint();
    lblFileSort->repaint();
    fillFolderBox(folder);
    setFolderPath(folder);
    RefreshFileList();
}

void frmBrowse::Dir1_Click() {
    DriveChanging = false;
}

void frmBrowse::Drive1_Change() {
    const int index = Drive1->currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= m_drives.size()) {
        return;
    }
    const std::string drive = m_drives[static_cast<std::size_t>(index)];
    DriveChanging = true;
    for (;;) {
        const std::error_code error = m_sources.probe(drive);
        if (!error) {
            Dir1_Change(drive);
            DriveChanging = false;
            RefreshFileList();
            return;
        }
        if (!Explorer::DeviceUnavailable(error.value())) {
            // The folder box stays where it was; the drive box follows it back, so both name
            // the same drive and the table keeps working.
            selectDriveQuietly(Explorer::DriveOf(m_folder, m_drives));
            DriveChanging = false;
            return;
        }
        const int answer =
            MsgBox::Show(this, toQString(Explorer::NotReadyText(drive)), Explorer::kNotReadyStyle,
                         toQString(Explorer::kNotReadyTitle));
        if (answer != MsgBox::Retry) {
            // Back to the drive the folder box is on; the folder box stays on its folder, as a
            // drive keeps its own current folder.
            selectDriveQuietly(Explorer::DriveOf(m_folder, m_drives));
            DriveChanging = false;
            return;
        }
    }
}

const Explorer::FileRow* frmBrowse::selectedRow() const {
    const QModelIndexList selected = PropertiesList->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        return nullptr;
    }
    const QModelIndex source = m_sorted->mapToSource(selected.front());
    if (!source.isValid()) {
        return nullptr;
    }
    return &m_model->rows()[static_cast<std::size_t>(source.row())];
}

std::string frmBrowse::selectedPath() const {
    const Explorer::FileRow* row = selectedRow();
    return row != nullptr ? row->path : std::string();
}

void frmBrowse::cmdRemove_Click() {
    // Nothing is opened without a selected row; the opener gets the file's exact bytes.
    if (const Explorer::FileRow* row = selectedRow()) {
        Shell::OpenFile(this, row->path);
    }
}

void frmBrowse::cmdScan_Click() {
    const Explorer::FileRow* row = selectedRow();
    if (row == nullptr) {
        return;
    }
    // Copies: the table may be rebuilt while the message is shown.
    const std::string path = row->path;
    const std::string shown = row->pathText;
    const FileScan::Report report = m_sources.check(path);
    MsgBox::Show(this, toQString(FileScan::ReportText(shown, report)), 64,
                 toQString(Explorer::kTitle));
}
