#include "app/Antivirus.h"
#include "controls/Button.h"
#include "controls/ProgressBar.h"
#include "controls/WinColor.h"
#include "controls/WindowText.h"
#include "product/Product.h"
#include "scanner/QuarantineFolder.h"
#include "scanner/StartupTexts.h"
#include "scanner/ui/CellPictureDelegate.h"

#include <QCursor>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// Column widths of the detection list, in hundredths of a millimetre.
constexpr int kColumnWidths[] = {0, 4236, 5205, 2207, 4216};
const char* const kColumnTitles[] = {" ", "Virus Name", "Location", "Size (byte)", "Information"};

int himetricToPixels(int himetric) {
    return (himetric * 96 + 1270) / 2540;
}

} // namespace

void Antivirus::buildWindow() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(14, 10, 14, 12);
    outer->setSpacing(8);

    // Title band.
    auto* titleRow = new QHBoxLayout;
    QLabel* title = makeLabel(toQString("Kesto Virus Scanner"), central, "Label6");
    title->setFont(QFont(QStringLiteral("Arial"), 20, QFont::Bold));
    title->setStyleSheet(QStringLiteral("color: rgb(39, 64, 139);"));
    QLabel* codeName = makeLabel(toQString("Zedodu"), central, "Label10");
    QFont codeFont(QStringLiteral("Arial"), 12, QFont::Bold);
    codeFont.setItalic(true);
    codeName->setFont(codeFont);
    codeName->setStyleSheet(QStringLiteral("color: rgb(60, 127, 177);"));
    auto* versionColumn = new QVBoxLayout;
    QLabel* version = makeLabel(toQString(StartupTexts::kVersion), central, "Label7");
    Label9 = makeLabel(toQString(">> ") + toQString(Product::kReleaseDate) + toQString(" <<"),
                       central, "Label9");
    Label9->setCursor(Qt::PointingHandCursor);
    Label9->setStyleSheet(QStringLiteral("color: rgb(0, 0, 160);"));
    Label9->installEventFilter(this);
    versionColumn->addWidget(version, 0, Qt::AlignRight);
    versionColumn->addWidget(Label9, 0, Qt::AlignRight);
    titleRow->addWidget(title, 0, Qt::AlignBottom);
    titleRow->addWidget(codeName, 0, Qt::AlignBottom);
    titleRow->addStretch();
    titleRow->addLayout(versionColumn);
    outer->addLayout(titleRow);

    // Buttons on the left, counts and progress on the right.
    auto* middle = new QHBoxLayout;
    middle->setSpacing(16);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(6);
    const auto makeButton = [&](Button*& button, const char* name, const char* caption,
                                const char* tip) {
        button = Button::programButton(central, toQString(caption), toQString(tip));
        button->setObjectName(QString::fromLatin1(name));
        button->setForeColorPressed(WinColor::Rgb(0, 0, 255));
        button->setFixedSize(104, 30);
        buttons->addWidget(button);
    };
    makeButton(cmdScan, "cmdScan", "Scan", "Start Scanning...");
    makeButton(cmdHapus, "cmdHapus", "Clean", "Clean All Viruses");
    makeButton(cmdKarantina, "cmdKarantina", "Quarantine", "Quarantine All Viruses");
    makeButton(cmdMenu, "cmdMenu", "Menu", "Additional Menu");
    makeButton(cmdKeluar, "cmdKeluar", "Exit", "Exit");
    buttons->addStretch();
    connect(cmdScan, &Button::Click, this, &Antivirus::cmdScan_Click);
    connect(cmdHapus, &Button::Click, this, &Antivirus::cmdHapus_Click);
    connect(cmdKarantina, &Button::Click, this, &Antivirus::cmdKarantina_Click);
    connect(cmdMenu, &Button::Click, this, &Antivirus::cmdMenu_Click);
    connect(cmdKeluar, &Button::Click, this, &Antivirus::cmdKeluar_Click);
    middle->addLayout(buttons);

    auto* right = new QVBoxLayout;
    right->setSpacing(6);
    auto* counts = new QGridLayout;
    counts->setHorizontalSpacing(10);
    counts->setVerticalSpacing(4);
    const auto countRow = [&](int row, const char* captionName, const char* caption, QLabel*& value,
                              const char* valueName, const char* initial) {
        counts->addWidget(makeLabel(toQString(caption), central, captionName), row, 0);
        counts->addWidget(makeLabel(toQString(":"), central), row, 1);
        value = makeLabel(toQString(initial), central, valueName);
        value->setMinimumWidth(90);
        QFont bold = value->font();
        bold.setBold(true);
        value->setFont(bold);
        counts->addWidget(value, row, 2);
    };
    countRow(0, "persen", "Total File  ", lblTotalFile, "lblTotalFile", "0");
    countRow(1, "jumlah_file", "File Scanning", lblFileDiperiksa, "lblFileDiperiksa", "0");
    countRow(2, "Virus_Ditemukan", "Virus Detected", lblJumlahVirus, "lblJumlahVirus", "0");
    countRow(3, "Label5", "Eplased ", Label1, "Label1", "00:00:00");
    counts->setColumnStretch(3, 1);
    right->addLayout(counts);

    ProgressBar1 = new ProgressBar(central);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTheme(10);
    ProgressBar1->setPBSCustomeColor1(WinColor::Rgb(128, 128, 255));
    ProgressBar1->setPBSCustomeColor2(WinColor::Rgb(154, 179, 241));
    ProgressBar1->setTextStyle(3);
    ProgressBar1->setTextEffectColor(WinColor::Rgb(255, 255, 255));
    // Plain black text: a newly placed bar draws a white shadow, this one draws none.
    ProgressBar1->setTextEffect(1);
    QFont fixed(QStringLiteral("Fixedsys"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSize(9);
    fixed.setBold(true);
    ProgressBar1->setTextFont(fixed);
    ProgressBar1->setValue(0);
    ProgressBar1->setText(toQString("0 % Complete..."));
    ProgressBar1->setFixedHeight(24);
    right->addWidget(ProgressBar1);
    lblPercentComplete = makeLabel(toQString("0 % Complete..."), central, "lblPercentComplete");
    right->addWidget(lblPercentComplete, 0, Qt::AlignRight);
    status = makeLabel(QString(), central, "status");
    status->setFrameShape(QFrame::StyledPanel);
    status->setMinimumHeight(24);
    status->setTextFormat(Qt::PlainText);
    right->addWidget(status);
    right->addStretch();
    middle->addLayout(right, 1);
    outer->addLayout(middle);

    ListView1 = new QTreeWidget(central);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setTextElideMode(Qt::ElideMiddle);
    ListView1->setItemDelegate(new CellPictureDelegate(ListView1));
    ListView1->setColumnCount(5);
    QStringList titles;
    int listWidth = 0;
    for (int column = 0; column < 5; ++column) {
        titles << toQString(kColumnTitles[column]);
    }
    ListView1->setHeaderLabels(titles);
    for (int column = 0; column < 5; ++column) {
        ListView1->setColumnWidth(column, himetricToPixels(kColumnWidths[column]));
        ListView1->headerItem()->setTextAlignment(column, Qt::AlignCenter);
        listWidth += himetricToPixels(kColumnWidths[column]);
    }
    ListView1->setColumnHidden(0, true);
    ListView1->setMinimumSize(listWidth + 4, 220);
    QPalette palette = ListView1->palette();
    palette.setColor(QPalette::Text, QColor(255, 0, 0));
    palette.setColor(QPalette::Base, QColor(255, 255, 255));
    ListView1->setPalette(palette);
    ListView1->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    outer->addWidget(ListView1, 1);
    setFixedSize(sizeHint().expandedTo(QSize(760, 560)));
}

void Antivirus::buildMenu() {
    mnu = new QMenu(this);
    mnu->setObjectName(QStringLiteral("mnu"));
    const struct {
        const char* name;
        const char* caption;
        const char* shortcut;
        void (Antivirus::*handler)();
        QAction*& action;
    } items[] = {
        {"mnuTemp", "Temporary Database", "Ctrl+D", &Antivirus::mnuTemp_Click, m_mnuTemp},
        {"mnuTool", "Kesto Virus Scanner Tools", "Ctrl+T", &Antivirus::mnuTool_Click, m_mnuTool},
        {"mnuWinTools", "Kesto Windows Tools", "Ctrl+W", &Antivirus::mnuWinTools_Click,
         m_mnuWinTools},
        {"mnuViewSigna", "View Signatures", "Ctrl+S", &Antivirus::mnuViewSigna_Click,
         m_mnuViewSigna},
        {"mnuAbout", "About Kesto Virus Scanner", "Ctrl+A", &Antivirus::mnuAbout_Click, m_mnuAbout},
        {"mnuQuarantine", "Quarantine", "Ctrl+Q", &Antivirus::mnuQuarantine_Click, m_mnuQuarantine},
    };
    for (const auto& item : items) {
        QAction* action = mnu->addAction(toQString(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setShortcut(QKeySequence(QString::fromLatin1(item.shortcut)));
        connect(action, &QAction::triggered, this, item.handler);
        item.action = action;
        addAction(action); // shortcuts work while the menu is closed
    }
    mnu->setToolTipsVisible(true);
}
