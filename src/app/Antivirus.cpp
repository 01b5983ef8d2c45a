#include "app/Antivirus.h"

#include "controls/Button.h"
#include "controls/MsgBox.h"
#include "controls/WindowText.h"
#include "engine/KestoEngine.h"
#include "engine/SignatureDatabase.h"
#include "engine/ui/EngineWindows.h"
#include "platform/FileOps.h"
#include "platform/FolderListing.h"
#include "platform/ProgramFolder.h"
#include "scanner/DetectionActions.h"
#include "scanner/QuarantineFolder.h"
#include "scanner/StartupTexts.h"
#include "scanner/ui/ActionWorker.h"
#include "scanner/ui/ScanWorker.h"
#include "signatures/ExtraSignatures.h"
#include "tools/ui/ToolWindows.h"

#include <QAbstractPrintDialog>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCursor>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <QWindow>
#include <utility>

namespace {

/// The signature sources of `folders`; each problem of a source goes to the program's warnings.
std::shared_ptr<const ExtraSignatures>
loadExtraSignatures(const std::vector<std::string>& folders) {
    SignatureOptions options;
    options.folders = folders;
    std::shared_ptr<const ExtraSignatures> extra = ExtraSignatures::Load(options);
    for (const SignatureSourceInfo& source : extra->sources()) {
        for (const std::string& problem : source.problems) {
            qWarning("%s: %s", source.path.c_str(), problem.c_str());
        }
    }
    // Without a source that gave signatures the scans do no work for them.
    return extra->empty() ? nullptr : extra;
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
    settings.signatureFolders = DefaultSignatureFolders();
    settings.endProgram = [] {
        QApplication::closeAllWindows();
        QApplication::exit(1);
    };
    return settings;
}

Antivirus::Antivirus(Settings settings, QWidget* parent)
    : QMainWindow(parent), m_settings(std::move(settings)),
      m_database(std::make_unique<SignatureDatabase>(m_settings.databasePath)),
      m_extra(loadExtraSignatures(m_settings.signatureFolders)),
      m_engineWindows(std::make_unique<EngineWindows>(this, m_settings.databasePath, m_extra)),
      m_toolWindows(std::make_unique<ToolWindows>(this, m_settings.tools)),
      m_worker(new ScanWorker(this, m_settings.progressClock)),
      m_actionWorker(new ActionWorker(this)) {
    setObjectName(QStringLiteral("Antivirus"));
    setWindowTitle(toQString(StartupTexts::kMainCaption));
    m_worker->setVerdictCache(m_settings.verdictCache);
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

bool Antivirus::scanning() const {
    return cmdScan->Caption() == toQString("Stop");
}

void Antivirus::waitForScan() {
    m_worker->join();
}

bool Antivirus::scanWaiting() const {
    return m_worker->waiting();
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
