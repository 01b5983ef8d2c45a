#include "scanner/ui/Antivirus.h"

#include "controls/Button.h"
#include "controls/FolderDialog.h"
#include "controls/MsgBox.h"
#include "controls/ProgressBar.h"
#include "controls/WinColor.h"
#include "controls/WindowText.h"
#include "engine/KestoEngine.h"
#include "engine/SignatureDatabase.h"
#include "engine/ui/EngineWindows.h"
#include "platform/FileOps.h"
#include "platform/FolderListing.h"
#include "platform/ProgramFolder.h"
#include "scanner/DetectionActions.h"
#include "scanner/DisplayName.h"
#include "scanner/QuarantineFolder.h"
#include "scanner/StartupTexts.h"
#include "scanner/ui/ActionWorker.h"
#include "scanner/ui/CellPictureDelegate.h"
#include "scanner/ui/ScanWorker.h"
#include "tools/ui/ToolWindows.h"

#include <QAbstractPrintDialog>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCursor>
#include <QFileDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>
#include <utility>

namespace {

// Column widths of the detection list, in hundredths of a millimetre.
constexpr int kColumnWidths[] = {0, 4236, 5205, 2207, 4216};
const char* const kColumnTitles[] = {" ", "Virus Name", "Location", "Size (byte)", "Information"};

int himetricToPixels(int himetric) {
    return (himetric * 96 + 1270) / 2540;
}

/// Message boxes and the stock file, folder, colour, font, input, progress and print dialogs come
/// and go over a window without being windows of the program in their own right.
bool passingDialog(QWidget* window) {
    return qobject_cast<QMessageBox*>(window) != nullptr ||
           qobject_cast<QFileDialog*>(window) != nullptr ||
           qobject_cast<QColorDialog*>(window) != nullptr ||
           qobject_cast<QFontDialog*>(window) != nullptr ||
           qobject_cast<QInputDialog*>(window) != nullptr ||
           qobject_cast<QProgressDialog*>(window) != nullptr ||
           qobject_cast<QAbstractPrintDialog*>(window) != nullptr;
}

/// The top-level widget shown in `window`; nullptr for a window that is no widget of the program.
QWidget* widgetOf(const QWindow* window) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->windowHandle() == window) {
            return top;
        }
    }
    return nullptr;
}

} // namespace

Antivirus::Settings Antivirus::DefaultSettings() {
    Settings settings;
    settings.databasePath = KestoEngine::DefaultDatabasePath();
    settings.quarantineFolder = DefaultQuarantineFolder();
    settings.endProgram = [] {
        QApplication::closeAllWindows();
        QApplication::exit(1);
    };
    return settings;
}

Antivirus::Antivirus(Settings settings, QWidget* parent)
    : QMainWindow(parent), m_settings(std::move(settings)),
      m_database(std::make_unique<SignatureDatabase>(m_settings.databasePath)),
      m_engineWindows(std::make_unique<EngineWindows>(this, m_settings.databasePath)),
      m_toolWindows(std::make_unique<ToolWindows>(this, m_settings.tools)),
      m_worker(new ScanWorker(this, m_settings.progressClock)),
      m_actionWorker(new ActionWorker(this)) {
    setObjectName(QStringLiteral("Antivirus"));
    setWindowTitle(toQString(StartupTexts::kMainCaption));
    buildWindow();
    buildMenu();

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &Antivirus::Timer1_Timer);
    Timer2 = new QTimer(this);
    Timer2->setInterval(500);
    connect(Timer2, &QTimer::timeout, this, &Antivirus::Timer2_Timer);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &Antivirus::focusWindowChanged);

    // Queued: the worker's timer also sends from this thread, and a direct call would overtake the
    // reports still waiting in the queue.
    const auto queued = Qt::QueuedConnection;
    connect(m_worker, &ScanWorker::passStarted, this, &Antivirus::scanPassStarted, queued);
    connect(m_worker, &ScanWorker::totalCounted, this, &Antivirus::scanTotalCounted, queued);
    connect(m_worker, &ScanWorker::fileStarted, status, &QLabel::setText, queued);
    connect(m_worker, &ScanWorker::detectionListed, this, &Antivirus::scanDetectionListed, queued);
    connect(m_worker, &ScanWorker::fileChecked, this, &Antivirus::scanFileChecked, queued);
    connect(m_worker, &ScanWorker::finished, this, &Antivirus::scanFinished, queued);
    connect(m_actionWorker, &ActionWorker::entryRemoved, this, &Antivirus::actionEntryRemoved,
            queued);
    connect(m_actionWorker, &ActionWorker::entryKept, this, &Antivirus::actionEntryKept, queued);
    connect(
        m_actionWorker, &ActionWorker::progressChanged, this,
        [this](int percent, const QString& text) { showPercent(percent, text); }, queued);
    connect(m_actionWorker, &ActionWorker::finished, this, &Antivirus::actionFinished, queued);
}

Antivirus::~Antivirus() {
    // Windows that close while the base classes are destroyed must not reach this part.
    disconnect(qApp, &QGuiApplication::focusWindowChanged, this, nullptr);
    // Both threads use the database, which goes before the workers do.
    m_worker->requestStop();
    m_worker->join();
    m_actionWorker->join();
}

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
    Label9 = makeLabel(toQString(">> ") + toQString(StartupTexts::kReleaseDate) + toQString(" <<"),
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

bool Antivirus::scanning() const {
    return cmdScan->Caption() == toQString("Stop");
}

void Antivirus::waitForScan() {
    m_worker->join();
}

bool Antivirus::scanWaiting() const {
    return m_worker->waiting();
}

void Antivirus::setScanButtons(bool idle) {
    cmdHapus->setEnabled(idle);
    cmdMenu->setEnabled(idle);
    cmdKarantina->setEnabled(idle);
    // The menu's shortcuts lead to the same windows as the menu button.
    for (QAction* action :
         {m_mnuTemp, m_mnuTool, m_mnuWinTools, m_mnuViewSigna, m_mnuAbout, m_mnuQuarantine}) {
        action->setEnabled(idle);
    }
}

void Antivirus::setCounts(std::uint64_t total, std::uint64_t checked, std::uint64_t detections) {
    m_total = total;
    m_checked = checked;
    lblTotalFile->setText(QString::number(total));
    lblFileDiperiksa->setText(QString::number(checked));
    lblJumlahVirus->setText(QString::number(detections));
}

void Antivirus::showPercent(int percent, const QString& text) {
    ProgressBar1->setValue(percent);
    ProgressBar1->setText(text);
    lblPercentComplete->setText(text);
}

void Antivirus::addRow(const DetectionEntry& entry) {
    m_detections.push_back(entry);
    // Filled before it joins the list, so that the list takes it in as one change.
    auto* row = new QTreeWidgetItem;
    row->setText(1, toQString(DisplayName(entry.name)));
    row->setText(2, toQString(DisplayName(entry.location)));
    row->setText(3, toQString(entry.size));
    row->setText(4, toQString(entry.information));
    for (int column = 1; column < 5; ++column) {
        row->setTextAlignment(column, Qt::AlignCenter);
        row->setToolTip(column, row->text(column));
    }
    ListView1->addTopLevelItem(row);
}

void Antivirus::cmdScan_Click() {
    if (cmdScan->Caption() != toQString("Scan")) {
        // The running scan sees the request before its next file and finishes on its own.
        cmdScan->setCaption(toQString("Scan"));
        m_worker->requestStop();
        return;
    }
    if (m_scanActive || m_acting) {
        return; // a stopped scan is still winding down (it ends within one file), or an action runs
    }
    const auto chosen = FolderDialog::Choose(this, toQString("Choose a location to be cheked..."));
    if (!chosen) {
        return;
    }
    std::string root;
    if (platform::canonicalFolder(toBytes(*chosen), root)) {
        root = toBytes(*chosen);
    }
    m_scanActive = true;
    ListView1->clear();
    m_detections.clear();
    showPercent(0, toQString("0 % Complete..."));
    cmdScan->setCaption(toQString("Stop"));
    cmdScan->setToolTip(toQString("Stop Scanning..."));
    setScanButtons(false);
    setCounts(0, 0, 0);
    m_wait = ScanTexts::WaitAnimation();
    runTimer(Timer2);
    m_elapsedSeconds = 0;
    Label1->setText(toQString(ScanTexts::ElapsedText(m_elapsedSeconds)));
    runTimer(Timer1);

    ScanOptions options;
    options.root = root;
    options.database = m_database.get();
    options.quarantineFolder = ResolveQuarantineFolder(m_settings.quarantineFolder);
    m_worker->start(std::move(options));
}

void Antivirus::scanPassStarted(int pass) {
    ListView1->clear();
    m_detections.clear();
    if (static_cast<ScanPass>(pass) == ScanPass::Scanning) {
        Timer2->stop(); // the wait animation belongs to the counting pass
    }
}

void Antivirus::scanTotalCounted(quint64 total) {
    m_total = total;
    lblTotalFile->setText(QString::number(total));
}

void Antivirus::scanDetectionListed(const DetectionEntry& entry, quint64 detections) {
    addRow(entry);
    lblJumlahVirus->setText(QString::number(detections));
}

void Antivirus::scanFileChecked(quint64 checked, int percent, const QString& text) {
    m_checked = checked;
    lblFileDiperiksa->setText(QString::number(checked));
    if (percent >= 0) {
        showPercent(percent, text);
    }
}

void Antivirus::scanFinished(const ScanSummary& summary) {
    if (m_askingToClose) {
        // The scan passed its last stop test before the question: its end waits for the answer.
        m_finishedWhileAsking = std::make_unique<ScanSummary>(summary);
        return;
    }
    m_worker->join();
    m_scanActive = false;
    Timer2->stop();
    Timer1->stop();
    m_detections = summary.detections;
    lblJumlahVirus->setText(QString::number(m_detections.size()));
    cmdScan->setCaption(toQString("Scan"));
    cmdScan->setToolTip(toQString("Start Scanning..."));
    setScanButtons(true);
    const ScanTexts::Completion& completion = summary.completion;
    status->setText(toQString(completion.status));
    if (completion.resetProgress) {
        ProgressBar1->setValue(0);
    }
    if (completion.showMessage && !m_ending) {
        MsgBox::Show(this, toQString(completion.message), completion.messageStyle,
                     toQString(completion.messageTitle));
    }
}

void Antivirus::runTimer(QTimer* timer) {
    if (m_settings.timersTick) {
        timer->start();
    }
}

void Antivirus::Timer1_Timer() {
    ++m_elapsedSeconds;
    Label1->setText(toQString(ScanTexts::ElapsedText(m_elapsedSeconds)));
}

void Antivirus::Timer2_Timer() {
    if (const auto text = m_wait.tick()) {
        status->setText(toQString(*text));
    }
}

void Antivirus::tindakan(std::string_view aksi) {
    if (m_scanActive || m_acting) {
        return;
    }
    m_acting = true;
    cmdScan->setEnabled(false);
    setScanButtons(false);
    ActionOptions options =
        ActionOptionsFor(*m_database, ResolveQuarantineFolder(m_settings.quarantineFolder));
    options.beforeAct = m_settings.beforeAct;
    // The list goes to the action and comes back without the entries it handled.
    m_actionWorker->start(aksi, std::exchange(m_detections, {}), std::move(options));
}

void Antivirus::actionEntryRemoved(quint64 position) {
    delete ListView1->takeTopLevelItem(static_cast<int>(position) - 1);
}

void Antivirus::actionEntryKept(quint64 position, const QString& information) {
    if (QTreeWidgetItem* row = ListView1->topLevelItem(static_cast<int>(position) - 1)) {
        row->setText(4, information);
        row->setToolTip(4, information);
    }
}

void Antivirus::actionFinished(const ActionResult& result) {
    m_actionWorker->join();
    m_detections = m_actionWorker->takeList();
    m_acting = false;
    cmdScan->setEnabled(true);
    setScanButtons(true);
    if (result.handled + result.failed > 0) {
        m_checked = 0;
        lblFileDiperiksa->setText(QStringLiteral("0"));
        lblJumlahVirus->setText(QString::number(m_detections.size()));
    }
    status->setText(toQString(result.status));
    if (!m_ending) {
        MsgBox::Show(this, toQString(result.message), result.messageStyle,
                     toQString(result.messageTitle));
    }
}

void Antivirus::cmdHapus_Click() {
    tindakan(kActionDelete);
}

void Antivirus::cmdKarantina_Click() {
    tindakan(kActionQuarantine);
}

void Antivirus::cmdMenu_Click() {
    mnu->popup(QCursor::pos());
}

void Antivirus::cmdKeluar_Click() {
    close();
}

void Antivirus::Label9_Click() {
    MsgBox::Show(this, toQString(StartupTexts::kReleaseNotice), MsgBox::kInformation,
                 toQString(StartupTexts::kReleaseNoticeTitle));
}

void Antivirus::mnuTemp_Click() {
    m_engineWindows->showTempDb();
}

void Antivirus::mnuViewSigna_Click() {
    m_engineWindows->showSignatures();
}

void Antivirus::mnuTool_Click() {
    m_toolWindows->showTools();
}

void Antivirus::mnuWinTools_Click() {
    m_toolWindows->showWinTools();
}

void Antivirus::mnuAbout_Click() {
    m_toolWindows->showAbout();
}

void Antivirus::mnuQuarantine_Click() {
    m_toolWindows->showQuarantine(m_settings.quarantineFolder);
}

void Antivirus::Form_Activate() {
    if (!KestoEngine::DatabaseFilePresent(m_settings.databasePath)) {
        const std::string folder = platform::programFolder();
        MsgBox::Show(this, toQString(StartupTexts::DatabaseNotFoundText(folder)),
                     MsgBox::kExclamation, toQString(StartupTexts::kDatabaseNotFoundTitle));
        m_ending = true;
        m_worker->requestStop();
        if (m_settings.endProgram) {
            m_settings.endProgram();
        }
        return;
    }
    if (m_welcome.mainWindowActivated()) {
        status->setText(toQString(ScanTexts::kWelcome));
    }
}

void Antivirus::focusWindowChanged(QWindow* window) {
    // nullptr is another program; the main window's own activation is Form_Activate's.
    if (window == nullptr || window == windowHandle()) {
        return;
    }
    QWidget* widget = widgetOf(window);
    if (widget == nullptr || widget->windowType() == Qt::Popup ||
        widget->windowType() == Qt::ToolTip || passingDialog(widget)) {
        return;
    }
    m_welcome.programWindowActivated();
}

void Antivirus::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_ending) {
        Form_Activate();
    }
}

void Antivirus::closeEvent(QCloseEvent* event) {
    if (m_askingToClose && !m_ending) {
        event->ignore(); // the question is open already
        return;
    }
    if (scanning() && !m_ending) {
        // The scan waits before its next file or folder until the user has answered, so nothing
        // of it moves meanwhile; "No" lets it go on where it waits.
        m_worker->pause();
        m_askingToClose = true;
        const int answer = MsgBox::Show(this, toQString(StartupTexts::kCloseQuestion),
                                        MsgBox::kQuestion + MsgBox::kYesNo,
                                        toQString(StartupTexts::kCloseQuestionTitle));
        m_askingToClose = false;
        if (answer != MsgBox::Yes && !m_ending) {
            event->ignore();
            m_worker->resume();
            if (m_finishedWhileAsking) {
                scanFinished(*std::exchange(m_finishedWhileAsking, nullptr));
            }
            return;
        }
    }
    // The program ends: a running scan is abandoned and its thread joined. A running action is
    // never cut off halfway through a file: the program ends once it is done.
    m_ending = true;
    m_worker->requestStop();
    m_worker->join();
    m_actionWorker->join();
    event->accept();
    QApplication::closeAllWindows();
}

bool Antivirus::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label9 && event->type() == QEvent::MouseButtonRelease) {
        Label9_Click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
