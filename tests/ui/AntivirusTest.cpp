#include "app/Antivirus.h"

#include "DialogAnswers.h"
#include "WindowLookup.h"
#include "controls/Button.h"
#include "controls/ProgressBar.h"
#include "controls/cCommonDialog.h"
#include "engine/KestoEngine.h"
#include "engine/clsCRC.h"
#include "engine/ui/frmTempDb.h"
#include "platform/ScopedSeam.h"
#include "scanner/ui/CellPictureDelegate.h"
#include "scanner/ui/Load1.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QStyledItemDelegate>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

QWidget* topLevel(const QString& title) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->windowTitle() == title) {
            return top;
        }
    }
    return nullptr;
}

const QString kWelcome =
    QStringLiteral("Welcome to Kesto Virus Scanner. Click Scan for start scanning...");

/// Waits until `widget`'s window has the focus. (A transient child counts as active while its
/// parent has the focus, so QTest::qWaitForWindowActive would not wait for the change.)
bool waitForFocus(QWidget& widget) {
    widget.activateWindow();
    return QTest::qWaitFor([&widget] {
        return QGuiApplication::focusWindow() == widget.windowHandle() && widget.isActiveWindow();
    });
}

/// Makes `other` the active window, closes it and makes `window` active again, the way a person
/// leaves the main window for another one and comes back.
bool visit(QWidget& window, QWidget& other) {
    other.show();
    if (!waitForFocus(other)) {
        return false;
    }
    other.close();
    return waitForFocus(window);
}

/// What the main window shows of a scan: counts, texts and the detection list's locations.
QStringList scanDisplay(const QWidget& window) {
    QStringList shown;
    for (const char* name :
         {"lblTotalFile", "lblFileDiperiksa", "lblJumlahVirus", "lblPercentComplete", "status"}) {
        shown << labelText(window, name);
    }
    const auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        shown << list->topLevelItem(row)->text(2);
    }
    return shown;
}

} // namespace

class AntivirusTest final : public QObject {
    Q_OBJECT

private:
    TempDir m_home;
    TempDir m_tree;
    int m_ended = 0;

    Antivirus::Settings settings() {
        Antivirus::Settings settings;
        settings.databasePath = m_home.file("Virus Database.dll");
        settings.quarantineFolder = m_home.file("Karantina");
        settings.endProgram = [this] { ++m_ended; };
        settings.timersTick = false; // the tests tick the clock themselves
        return settings;
    }

    void writeDatabase() {
        writeFile(m_home.file("Virus Database.dll"),
                  testsupport::databaseText(
                      {ChecksumText(clsCRC().CalculateBytes(testsupport::eicar())) + ":EICAR",
                       "Selesai:Selesai"}));
    }

    /// Scans the test tree from the window and waits until the scan has ended.
    void scanTree(Antivirus& window, DialogAnswers& answers) {
        answers.folder = QString::fromStdString(m_tree.path());
        window.cmdScan_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!window.scanning(), 20000);
    }

    /// Runs Clean or Quarantine from the window and waits until the window has shown its end.
    static void act(Antivirus& window, void (Antivirus::*click)()) {
        (window.*click)();
        QTRY_VERIFY_WITH_TIMEOUT(!window.acting(), 20000);
    }

private slots:
    void init() {
        m_ended = 0;
        std::filesystem::remove_all(m_tree.path());
        std::filesystem::create_directories(m_tree.path());
        writeDatabase();
    }

    void missingDatabaseEndsTheProgramWithItsMessage() {
        DialogAnswers answers;
        std::filesystem::remove(m_home.file("Virus Database.dll"));
        Antivirus window(settings());
        window.Form_Activate();
        QCOMPARE(m_ended, 1);
        QCOMPARE(answers.messages.size(), std::size_t{1});
        QCOMPARE(answers.messages[0].title, QStringLiteral("Database Not Found"));
        QCOMPARE(answers.messages[0].style, 48);
        QVERIFY(answers.messages[0].text.startsWith(QStringLiteral("Sorry...\r\nFile ''")));
    }

    void idleWindowGreetsAndOffersItsControls() {
        DialogAnswers answers;
        Antivirus window(settings());
        window.Form_Activate();
        QCOMPARE(labelText(window, "status"), kWelcome);
        QCOMPARE(window.windowTitle(), QStringLiteral("Kesto Virus Scanner Zedodu 1.1.0"));
        QCOMPARE(button(window, "cmdScan")->Caption(), QStringLiteral("Scan"));
        QCOMPARE(button(window, "cmdScan")->toolTip(), QStringLiteral("Start Scanning..."));
        QCOMPARE(labelText(window, "lblPercentComplete"), QStringLiteral("0 % Complete..."));
        // The bar's text is plain black, without the white shadow of a newly placed bar.
        const auto* bar = window.findChild<ProgressBar*>(QStringLiteral("ProgressBar1"));
        QCOMPARE(bar->TextEffect(), 1);
        QCOMPARE(bar->TextForeColor(), WinColor::Rgb(0, 0, 0));
        const auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        QCOMPARE(list->headerItem()->text(2), QStringLiteral("Location"));
        QCOMPARE(list->columnWidth(1), 160);
        const auto* temp = window.findChild<QAction*>(QStringLiteral("mnuTemp"));
        QCOMPARE(temp->shortcut(), QKeySequence(QStringLiteral("Ctrl+D")));
        window.Label9_Click();
        QCOMPARE(answers.messages.back().text, QStringLiteral("Update 14 August 2010"));
        QCOMPARE(answers.messages.back().title, QStringLiteral("Version"));
        QCOMPARE(answers.messages.back().style, 64);
    }

    void scanShowsCountsRowsAndTheCompletionMessage() {
        writeFile(m_tree.file("a/eicar.com"), testsupport::eicar());
        writeFile(m_tree.file("b/clean.txt"), "clean");
        writeFile(m_tree.file("c/again.com"), testsupport::eicar());
        DialogAnswers answers;
        Antivirus window(settings());
        scanTree(window, answers);
        QCOMPARE(answers.folderTitles.at(0), QStringLiteral("Choose a location to be cheked..."));
        QCOMPARE(labelText(window, "lblTotalFile"), QStringLiteral("3"));
        QCOMPARE(labelText(window, "lblFileDiperiksa"), QStringLiteral("3"));
        QCOMPARE(labelText(window, "lblJumlahVirus"), QStringLiteral("2"));
        QCOMPARE(labelText(window, "status"),
                 QStringLiteral("Scanning is finished, 2 virus detected..."));
        QCOMPARE(labelText(window, "lblPercentComplete"), QStringLiteral("100 % Complete..."));
        const auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(1)->text(2),
                 QString::fromStdString(m_tree.file("c/again.com")));
        QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("68"));
        QCOMPARE(answers.messages.size(), std::size_t{1});
        QCOMPARE(answers.messages[0].title, QStringLiteral("Detected"));
        QCOMPARE(answers.messages[0].style, 48);
        QVERIFY(button(window, "cmdHapus")->isEnabled());

        // Delete everything listed, then once more with nothing left.
        act(window, &Antivirus::cmdHapus_Click);
        QCOMPARE(answers.messages.back().text, QStringLiteral("2 Virus has been removed..."));
        QCOMPARE(answers.messages.back().title, QStringLiteral("Success"));
        QCOMPARE(list->topLevelItemCount(), 0);
        QCOMPARE(labelText(window, "lblJumlahVirus"), QStringLiteral("0"));
        QCOMPARE(labelText(window, "lblTotalFile"), QStringLiteral("3"));
        QVERIFY(!std::filesystem::exists(m_tree.file("a/eicar.com")));
        act(window, &Antivirus::cmdKarantina_Click);
        QCOMPARE(answers.messages.back().text,
                 QStringLiteral("There are no viruses are quaranted..."));
        QCOMPARE(answers.messages.back().title, QStringLiteral("No Selected"));
    }

    void detectionListShowsEveryNameAsOneUnambiguousLine() {
#ifdef _WIN32
        // Windows names hold no control characters; a character that turns the text around it
        // and an invisible one are what would make a shown name stand for another.
        writeFile(m_tree.file("bad\u202Ename\u200B.com"), testsupport::eicar());
        const std::string shown = m_tree.file("bad\\u202Ename\\u200B.com");
#else
        writeFile(m_tree.file("bad\nname\xff.com"), testsupport::eicar());
        const std::string shown = m_tree.file("bad\\x0aname\\xff.com");
#endif
        DialogAnswers answers;
        Antivirus window(settings());
        scanTree(window, answers);
        const auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(2), QString::fromStdString(shown));
    }

    void foldersAndFilesNamedInAnyLanguageAreScannedAndShownAsNamed() {
        // The chosen folder and the files below it keep every letter on the way from the dialog
        // to the core and back to the list.
        writeFile(m_tree.file("M\u00fcller \u0416/caf\u00e9 \u6587.com"), testsupport::eicar());
        DialogAnswers answers;
        Antivirus window(settings());
        answers.folder = QString::fromStdString(m_tree.file("M\u00fcller \u0416"));
        window.cmdScan_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!window.scanning(), 20000);
        QCOMPARE(labelText(window, "lblFileDiperiksa"), QStringLiteral("1"));
        const auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(2),
                 QString::fromStdString(m_tree.file("M\u00fcller \u0416/caf\u00e9 \u6587.com")));
    }

    void scanOfAFolderThatCannotBeReadSaysSoInItsMessage() {
        // The chosen folder is gone by the time the scan opens it.
        DialogAnswers answers;
        Antivirus window(settings());
        answers.folder = QString::fromStdString(m_tree.file("gone"));
        window.cmdScan_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!window.scanning(), 20000);
        const QString finished = QStringLiteral("Scanning is finished, no virus detected...");
        QCOMPARE(labelText(window, "status"), finished);
        QCOMPARE(labelText(window, "lblTotalFile"), QStringLiteral("0"));
        QCOMPARE(answers.messages.size(), std::size_t{1});
        QCOMPARE(answers.messages[0].text,
                 finished + QStringLiteral("\n\n1 folder(s) could not be read, so the files in "
                                           "them were not checked."));
        QCOMPARE(answers.messages[0].title, QStringLiteral("No Detected"));
        QCOMPARE(answers.messages[0].style, 48);
    }

    void scanWithAStandingClockStillShowsTheLastCountAndEveryRowInOrder() {
        // Progress waits for the clock; with one that never moves, the end of the scan alone
        // must bring the last count, the full percentage and every row in walk order.
        std::vector<std::string> planted;
        for (int i = 0; i < 60; ++i) {
            const std::string name = "d" + std::to_string(i % 6) + "/f" + std::to_string(i);
            const bool infected = i % 7 == 0;
            writeFile(m_tree.file(name), infected ? testsupport::eicar() : std::string("clean"));
            if (infected) {
                planted.push_back(m_tree.file(name));
            }
        }
        std::sort(planted.begin(), planted.end());
        DialogAnswers answers;
        Antivirus::Settings standing = settings();
        const auto now = std::chrono::steady_clock::now();
        standing.progressClock = [now] { return now; };
        Antivirus window(std::move(standing));
        scanTree(window, answers);
        QCOMPARE(labelText(window, "lblFileDiperiksa"), QStringLiteral("60"));
        QCOMPARE(labelText(window, "lblPercentComplete"), QStringLiteral("100 % Complete..."));
        QCOMPARE(labelText(window, "lblJumlahVirus"), QString::number(planted.size()));
        const auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        std::vector<std::string> shown;
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            shown.push_back(list->topLevelItem(row)->text(2).toStdString());
        }
        QCOMPARE(shown, planted);
    }

    void detectionListPaintsKeptCellPicturesAsTheStyleDoes() {
        writeFile(m_tree.file("a/eicar.com"), testsupport::eicar());
        writeFile(m_tree.file("a-folder-name-long-enough-to-be-elided/b/again.com"),
                  testsupport::eicar());
        DialogAnswers answers;
        Antivirus window(settings());
        window.show();
        scanTree(window, answers);
        auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        const auto* delegate = qobject_cast<CellPictureDelegate*>(list->itemDelegate());
        QVERIFY(delegate != nullptr);
        const QImage first = list->viewport()->grab().toImage();
        const QImage kept = list->viewport()->grab().toImage();
        QCOMPARE(delegate->keptPictures(), 8); // two rows of four cells
        list->setItemDelegate(new QStyledItemDelegate(list));
        const QImage styled = list->viewport()->grab().toImage();
        QCOMPARE(first, styled);
        QCOMPARE(kept, styled);
    }

    void statusLineGreetsOnlyOnReturnFromAToolWindow() {
        writeFile(m_tree.file("eicar.com"), testsupport::eicar());
        DialogAnswers answers; // clears the handlers below on every way out
        Antivirus window(settings());
        // Message boxes and the folder dialog appear as real windows that take the activation.
        int boxes = 0;
        bool visited = true;
        MsgBox::SetHandler([&](const QString& text, int, const QString& title) {
            QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, &window);
            visited = visit(window, box) && visited;
            ++boxes;
            return int{MsgBox::Ok};
        });
        FolderDialog::SetHandler([&](const QString& title) {
            QFileDialog dialog(&window, title);
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            visited = visit(window, dialog) && visited;
            return answers.folder;
        });
        window.show();
        QVERIFY(waitForFocus(window));
        QCOMPARE(labelText(window, "status"), kWelcome);

        const QString finished = QStringLiteral("Scanning is finished, 1 virus detected...");
        answers.folder = QString::fromStdString(m_tree.path());
        window.cmdScan_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!window.scanning(), 20000);
        QCOMPARE(boxes, 1);
        QCOMPARE(labelText(window, "status"), finished);

        answers.folder.reset();
        window.cmdScan_Click();
        QCOMPARE(labelText(window, "status"), finished);

        // Another program took over and the user came back.
        QApplication::setActiveWindow(nullptr);
        QVERIFY(!window.isActiveWindow());
        QApplication::setActiveWindow(&window);
        QVERIFY(window.isActiveWindow());
        QCOMPARE(labelText(window, "status"), finished);

        act(window, &Antivirus::cmdHapus_Click);
        QCOMPARE(boxes, 2);
        QCOMPARE(labelText(window, "status"), QStringLiteral("1 Virus has been removed..."));
        QVERIFY(visited);

        window.findChild<QAction*>(QStringLiteral("mnuViewSigna"))->trigger();
        QWidget* list = topLevel(QStringLiteral("Kesto -> Virus Signatures"));
        QVERIFY(list != nullptr);
        QVERIFY(waitForFocus(*list));
        QCOMPARE(labelText(window, "status"), QStringLiteral("1 Virus has been removed..."));
        QVERIFY(visit(window, *list)); // closing the list gives the main window back
        QCOMPARE(labelText(window, "status"), kWelcome);
    }

    void elapsedClockStartsAtZeroForEachScan() {
        writeFile(m_tree.file("clean.txt"), "clean");
        DialogAnswers answers;
        Antivirus window(settings());
        answers.folder = QString::fromStdString(m_tree.path());
        window.cmdScan_Click();
        for (int second = 0; second < 3; ++second) {
            window.Timer1_Timer();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!window.scanning(), 20000);
        QCOMPARE(labelText(window, "Label1"), QStringLiteral("00:00:03"));

        // The next scan ends before its first tick.
        window.cmdScan_Click();
        QCOMPARE(labelText(window, "Label1"), QStringLiteral("00:00:00"));
        QTRY_VERIFY_WITH_TIMEOUT(!window.scanning(), 20000);
        QCOMPARE(labelText(window, "Label1"), QStringLiteral("00:00:00"));
    }

    void cancelledFolderDialogChangesNothing() {
        writeFile(m_tree.file("eicar.com"), testsupport::eicar());
        DialogAnswers answers;
        Antivirus window(settings());
        scanTree(window, answers);
        answers.folder.reset();
        window.cmdScan_Click();
        QVERIFY(!window.scanning());
        QCOMPARE(labelText(window, "lblJumlahVirus"), QStringLiteral("1"));
        QCOMPARE(window.findChild<QTreeWidget*>(QStringLiteral("ListView1"))->topLevelItemCount(),
                 1);
    }

    void stopRequestEndsTheScanAsTerminated() {
        for (int i = 0; i < 3000; ++i) {
            writeFile(m_tree.file("d" + std::to_string(i % 30) + "/f" + std::to_string(i)), "x");
        }
        DialogAnswers answers;
        Antivirus window(settings());
        answers.folder = QString::fromStdString(m_tree.path());
        window.cmdScan_Click();
        QCOMPARE(button(window, "cmdScan")->Caption(), QStringLiteral("Stop"));
        QCOMPARE(button(window, "cmdScan")->toolTip(), QStringLiteral("Stop Scanning..."));
        QVERIFY(!button(window, "cmdHapus")->isEnabled());
        window.cmdScan_Click(); // Stop
        QCOMPARE(button(window, "cmdScan")->Caption(), QStringLiteral("Scan"));
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "cmdHapus")->isEnabled(), 20000);
        QCOMPARE(labelText(window, "status"),
                 QStringLiteral("Process terminated, no virus detected..."));
        QVERIFY(answers.messages.empty());
        QCOMPARE(window.findChild<ProgressBar*>(QStringLiteral("ProgressBar1"))->Value(), 0);
    }

    void closeDuringAScanAsksFirst() {
        for (int i = 0; i < 2000; ++i) {
            writeFile(m_tree.file("f" + std::to_string(i)), "x");
        }
        DialogAnswers answers;
        Antivirus window(settings());
        window.show();
        answers.folder = QString::fromStdString(m_tree.path());
        window.cmdScan_Click();
        answers.answers = {MsgBox::No};
        QVERIFY(!window.close());
        QCOMPARE(answers.messages.back().title, QStringLiteral("Are You Sure?"));
        QCOMPARE(answers.messages.back().style, 36);
        QVERIFY(window.isVisible());
        answers.answers = {MsgBox::Yes};
        QVERIFY(window.close()); // ends the scan and joins its thread
        QVERIFY(!window.isVisible());
    }

    void closeQuestionHoldsTheScanUntilTheAnswerAndNoLetsItFinish() {
        for (int i = 0; i < 12; ++i) {
            const std::string name = "d" + std::to_string(i % 3) + "/f" + std::to_string(i);
            writeFile(m_tree.file(name), i % 4 == 0 ? testsupport::eicar() : std::string("clean"));
        }
        DialogAnswers answers;
        QStringList uninterrupted;
        {
            Antivirus window(settings());
            scanTree(window, answers);
            uninterrupted = scanDisplay(window);
        }
        QCOMPARE(uninterrupted.size(), 5 + 3);
        const std::vector<DialogAnswers::Message> completion = std::move(answers.messages);
        answers.messages.clear();

        // The scan thread reads the clock as it sends the first file of the scanning pass; holding
        // it there keeps the scan running until the question is open.
        std::promise<void> gate;
        const std::shared_future<void> opened = gate.get_future().share();
        Antivirus::Settings held = settings();
        held.progressClock = [opened] {
            if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
                opened.wait();
            }
            return std::chrono::steady_clock::now();
        };
        Antivirus window(std::move(held));
        bool open = false;
        const auto openGate = [&] {
            if (!std::exchange(open, true)) {
                gate.set_value();
            }
        };
        const auto openOnExit = qScopeGuard(openGate);
        bool waited = false;
        bool heldStill = false;
        MsgBox::SetHandler([&](const QString& text, int style, const QString& title) {
            answers.messages.push_back({text, style, title});
            if (title != QStringLiteral("Are You Sure?")) {
                return int{MsgBox::Ok};
            }
            openGate();
            // The scan stops to wait before its next file; what it sent before arrives.
            waited = QTest::qWaitFor([&window] { return window.scanWaiting(); });
            QCoreApplication::processEvents();
            const QStringList before = scanDisplay(window);
            QCoreApplication::processEvents();
            heldStill = window.scanWaiting() && window.scanning() &&
                        scanDisplay(window) == before && answers.messages.size() == 1;
            return int{MsgBox::No};
        });
        answers.folder = QString::fromStdString(m_tree.path());
        window.cmdScan_Click();
        QVERIFY(!window.close());
        QVERIFY(waited);
        QVERIFY(heldStill);
        QVERIFY(!window.scanWaiting());

        // "No" returns to the scan, which ends as it would have without the question.
        QTRY_VERIFY_WITH_TIMEOUT(!window.scanning(), 20000);
        QCOMPARE(scanDisplay(window), uninterrupted);
        QCOMPARE(answers.messages.size(), std::size_t{2});
        QCOMPARE(answers.messages[0].title, QStringLiteral("Are You Sure?"));
        QCOMPARE(answers.messages[1].text, completion.at(0).text);
        QCOMPARE(answers.messages[1].title, QStringLiteral("Detected"));
    }

    void scanThatEndsJustBeforeTheCloseQuestionShowsItsEndAfterTheAnswer() {
        writeFile(m_tree.file("eicar.com"), testsupport::eicar());
        DialogAnswers answers;
        Antivirus window(settings());
        std::size_t messagesWhileAsking = 0;
        bool scanningWhileAsking = false;
        MsgBox::SetHandler([&](const QString& text, int style, const QString& title) {
            answers.messages.push_back({text, style, title});
            if (title == QStringLiteral("Are You Sure?")) {
                QCoreApplication::processEvents(); // brings the scan's end
                messagesWhileAsking = answers.messages.size();
                scanningWhileAsking = window.scanning();
                return int{MsgBox::No};
            }
            return int{MsgBox::Ok};
        });
        answers.folder = QString::fromStdString(m_tree.path());
        window.cmdScan_Click();
        window.waitForScan(); // the scan has ended; the window has not heard of it yet
        QVERIFY(!window.close());
        QCOMPARE(messagesWhileAsking, std::size_t{1});
        QVERIFY(scanningWhileAsking);
        QVERIFY(!window.scanning());
        QCOMPARE(answers.messages.size(), std::size_t{2});
        QCOMPARE(answers.messages[1].title, QStringLiteral("Detected"));
        QCOMPARE(labelText(window, "status"),
                 QStringLiteral("Scanning is finished, 1 virus detected..."));
    }

    void menuOpensTheEngineWindowsAndDisablesTheMainWindow() {
        DialogAnswers answers;
        Antivirus window(settings());
        window.show();
        auto* signatures = window.findChild<QAction*>(QStringLiteral("mnuViewSigna"));
        QVERIFY(signatures->isEnabled());
        QVERIFY(window.findChild<QAction*>(QStringLiteral("mnuAbout"))->isEnabled());
        signatures->trigger();
        QVERIFY(!window.isEnabled());
        QWidget* list = topLevel(QStringLiteral("Kesto -> Virus Signatures"));
        QVERIFY(list != nullptr && list->isVisible() && list->isEnabled());
        list->close();
        QVERIFY(window.isEnabled());
    }

    void checksumMarkedInTheInspectorIsAUserRequestInTheNextScan() {
        const std::string suspect = m_tree.file("suspect.dat");
        writeFile(suspect, "a file the user distrusts");
        DialogAnswers answers;
        Antivirus window(settings());
        window.show();
        frmTempDb* inspector = nullptr;
        {
            const platform::ScopedSeam chosen(cCommonDialog::SetOpenHandler,
                                              [&suspect](const cCommonDialog::FileRequest&) {
                                                  cCommonDialog::FileAnswer answer;
                                                  answer.result = cCommonDialog::Result::Confirmed;
                                                  answer.files = {QString::fromStdString(suspect)};
                                                  return answer;
                                              });
            window.findChild<QAction*>(QStringLiteral("mnuTemp"))->trigger();
            for (QWidget* top : QApplication::topLevelWidgets()) {
                inspector = inspector != nullptr ? inspector : qobject_cast<frmTempDb*>(top);
            }
            QVERIFY(inspector != nullptr);
            inspector->cmdBrowse_Click();
        }
        inspector->findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(true);
        inspector->cmdTutup_Click();

        scanTree(window, answers);
        KestoEngine::SetTempDbChecksum("");
        const auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("User Request"));
        QCOMPARE(list->topLevelItem(0)->text(2), QString::fromStdString(suspect));
    }

    void filesThatCouldNotBeHandledStayListedWithTheReason() {
        writeFile(m_tree.file("a/eicar.com"), testsupport::eicar());
        writeFile(m_tree.file("b/eicar.com"), testsupport::eicar());
        // A quarantine folder that is a regular file can take nothing.
        writeFile(m_home.file("Karantina"), "not a folder");
        DialogAnswers answers;
        Antivirus window(settings());
        scanTree(window, answers);
        act(window, &Antivirus::cmdKarantina_Click);
        const auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        QCOMPARE(list->topLevelItemCount(), 2);
        QVERIFY(list->topLevelItem(0)->text(4).startsWith(QStringLiteral("Not quarantined: ")));
        QCOMPARE(labelText(window, "lblJumlahVirus"), QStringLiteral("2"));
        const QString folder = QString::fromStdString(m_home.file("Karantina/"));
        QCOMPARE(labelText(window, "status"),
                 QStringLiteral("0 Virus has been removed to a folder '%1' ...").arg(folder));
        QCOMPARE(answers.messages.back().title, QStringLiteral("Not Complete"));
        QCOMPARE(answers.messages.back().style, 48);
        QVERIFY(answers.messages.back().text.contains(
            QStringLiteral("2 file(s) could not be moved to the quarantine folder")));
        QVERIFY(std::filesystem::exists(m_tree.file("a/eicar.com")));

        // Once the folder can take them, the same rows are moved.
        std::filesystem::remove(m_home.file("Karantina"));
        act(window, &Antivirus::cmdKarantina_Click);
        QCOMPARE(list->topLevelItemCount(), 0);
        QCOMPARE(answers.messages.back().title, QStringLiteral("Success"));
        QVERIFY(std::filesystem::exists(m_home.file("Karantina/eicar.com_vir")));
        QVERIFY(std::filesystem::exists(m_home.file("Karantina/eicar.com (2)_vir")));
    }

    void cleanRunsBesideTheWindowWhichShowsItsProgressMeanwhile() {
        writeFile(m_tree.file("a/eicar.com"), testsupport::eicar());
        writeFile(m_tree.file("b/eicar.com"), testsupport::eicar());
        const std::string first = m_tree.file("a/eicar.com"); // listed first, so handled last
        std::promise<void> gate;
        const std::shared_future<void> opened = gate.get_future().share();
        std::atomic<bool> onWindowThread{false};
        DialogAnswers answers;
        Antivirus::Settings held = settings();
        held.beforeAct = [&onWindowThread, opened, first](const DetectionEntry& entry) {
            // Waiting on the window's own thread would hang the test instead of failing it.
            if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
                onWindowThread = true;
            } else if (entry.location == first) {
                opened.wait();
            }
        };
        Antivirus window(std::move(held));
        bool open = false;
        const auto openGate = [&] {
            if (!std::exchange(open, true)) {
                gate.set_value();
            }
        };
        const auto openOnExit = qScopeGuard(openGate); // a failed check never leaves it waiting
        scanTree(window, answers);
        const auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        const auto* bar = window.findChild<ProgressBar*>(QStringLiteral("ProgressBar1"));

        window.cmdHapus_Click();
        QVERIFY(!onWindowThread);
        // The action waits before the second file while the window shows the first one done.
        QTRY_COMPARE(labelText(window, "lblPercentComplete"), QStringLiteral("50 % Complete..."));
        QCOMPARE(bar->Value(), 50);
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(2), QString::fromStdString(first));
        for (const char* name : {"cmdScan", "cmdHapus", "cmdKarantina", "cmdMenu"}) {
            QVERIFY2(!button(window, name)->isEnabled(), name);
        }
        QVERIFY(!window.findChild<QAction*>(QStringLiteral("mnuQuarantine"))->isEnabled());
        QVERIFY(button(window, "cmdKeluar")->isEnabled());
        // Handlers reached all the same start nothing.
        window.cmdKarantina_Click();
        window.cmdScan_Click();
        QCOMPARE(answers.folderTitles.size(), std::size_t{1});
        QCOMPARE(answers.messages.size(), std::size_t{1}); // the scan's

        openGate();
        QTRY_VERIFY(button(window, "cmdHapus")->isEnabled());
        QVERIFY(button(window, "cmdScan")->isEnabled());
        QCOMPARE(answers.messages.size(), std::size_t{2});
        QCOMPARE(answers.messages.back().text, QStringLiteral("2 Virus has been removed..."));
        QCOMPARE(answers.messages.back().title, QStringLiteral("Success"));
        QCOMPARE(labelText(window, "status"), QStringLiteral("2 Virus has been removed..."));
        QCOMPARE(labelText(window, "lblPercentComplete"), QStringLiteral("100 % Complete..."));
        QCOMPARE(labelText(window, "lblJumlahVirus"), QStringLiteral("0"));
        QCOMPARE(labelText(window, "lblFileDiperiksa"), QStringLiteral("0"));
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(!std::filesystem::exists(first));
    }

    void closeWhileIdleAsksNothing() {
        DialogAnswers answers;
        Antivirus window(settings());
        window.show();
        QVERIFY(window.close());
        QVERIFY(answers.messages.empty());
    }

    void splashRunsToOneHundredThenHandsOver() {
        int shown = 0;
        QPointer<Load1> splash = new Load1([&shown] { ++shown; });
        splash->show();
        QCOMPARE(splash->windowOpacity(), 180.0 / 255.0);
        QCOMPARE(splash->interval(), 1);
        int ticks = 0;
        while (splash && splash->timerActive() && ticks < 200) {
            splash->Timer1_Timer();
            ++ticks;
            if (splash && splash->value() == 91) {
                QCOMPARE(splash->interval(), 250);
            }
        }
        QCOMPARE(shown, 1);
        QCOMPARE(ticks, 55); // 45 + 9 steps to 100, then the hand-over tick
        QTRY_VERIFY(splash.isNull());
    }
};

QTEST_MAIN(AntivirusTest)
#include "AntivirusTest.moc"
