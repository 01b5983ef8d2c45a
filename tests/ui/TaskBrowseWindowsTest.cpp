#include "../scanner/ChildPrograms.h"
#include "DialogAnswers.h"
#include "ShellCalls.h"
#include "WindowLookup.h"
#include "controls/Button.h"
#include "platform/PathText.h"
#include "platform/Processes.h"
#include "platform/ProgramFolder.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/ui/frmBrowse.h"
#include "tools/ui/frmTask.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#include "platform/windows/WideText.h"

#include <windows.h>
#endif

using testsupport::ChildPrograms;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

QString label(const QWidget& window, const char* name) {
    const auto* found = window.findChild<QLabel*>(QString::fromLatin1(name));
    return found != nullptr ? found->text() : QStringLiteral("<missing>");
}

/// The rows of the task list showing `pid`.
QList<QTreeWidgetItem*> rowsOf(const frmTask& window, pid_t pid) {
    return window.list()->findItems(QString::number(pid), Qt::MatchExactly, 2);
}

// How this system names what the tests make: the child program, a removable drive that has no
// medium and the errors a drive gives, and a name that is shown escaped (a line break; Windows
// names hold no control characters, so there an invisible character).
#ifdef _WIN32
const std::string kChildName = "kesto-window-child.exe";
const std::string kStick = "E:\\";
const std::string kStickShown = "E:\\";
const std::error_code kNoMedium(ERROR_NOT_READY, std::system_category());
const std::error_code kDenied(ERROR_ACCESS_DENIED, std::system_category());
const std::string kOddName = "bad\u200Bname.com";
const std::string kOddShown = "bad\\u200Bname.com";
#else
const std::string kChildName = "kesto-window-child";
const std::string kStick = "/media/stick";
const std::string kStickShown = "/media/stick/";
const std::error_code kNoMedium(ENOMEDIUM, std::generic_category());
const std::error_code kDenied(EACCES, std::generic_category());
const std::string kOddName = "bad\nname.com";
const std::string kOddShown = "bad\\x0aname.com";
#endif

/// `name` in `folder`, joined as the system joins them.
std::string in(const std::string& folder, const std::string& name) {
    return folder + platform::kPathSeparator + name;
}

#ifndef _WIN32
/// Sets PATH for the lifetime of the object.
class SearchPath {
public:
    explicit SearchPath(const std::string& path) {
        if (const char* old = std::getenv("PATH")) {
            m_old = old;
        }
        ::setenv("PATH", path.c_str(), 1);
    }
    ~SearchPath() { ::setenv("PATH", m_old.c_str(), 1); }
    SearchPath(const SearchPath&) = delete;
    SearchPath& operator=(const SearchPath&) = delete;

private:
    std::string m_old;
};
#endif

QStringList column(const QTableView& table, int column) {
    QStringList texts;
    for (int row = 0; row < table.model()->rowCount(); ++row) {
        texts << table.model()->index(row, column).data().toString();
    }
    return texts;
}

} // namespace

class TaskBrowseWindowsTest final : public QObject {
    Q_OBJECT

private:
    TempDir m_dir;

    /// The drive that holds the test's folders: "/", or on Windows its letter's root.
    std::string systemDrive() const {
        return m_dir.path().substr(0, platform::pathRootLength(m_dir.path()));
    }

    frmBrowse::Sources browseSources(const std::string& folder) {
        frmBrowse::Sources sources;
        sources.startFolder = folder;
        sources.drives = [this] { return std::vector<std::string>{systemDrive(), kStick}; };
        sources.probe = [](const std::string& mountPoint) {
            return mountPoint == kStick ? kNoMedium : std::error_code();
        };
        return sources;
    }

private slots:
    void taskManagerListsStopsAndForgetsAChildProcess() {
        const std::string program = m_dir.file(kChildName);
        ChildPrograms::copyProgram(program);
        ChildPrograms children;
        const pid_t pid = children.start(program);

        frmTask window(nullptr, frmTask::Sources{});
        window.Form_Load();
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("Kesto -> Task Manager"));
        QCOMPARE(window.list()->headerItem()->text(1), QStringLiteral("Process Name"));
        QVERIFY(window.list()->isColumnHidden(0));
        QList<QTreeWidgetItem*> rows = rowsOf(window, pid);
        QCOMPARE(rows.size(), 1);
        // Windows may give the names in another case.
        QVERIFY(platform::samePath(rows.front()->text(1).toStdString(), kChildName));
        QVERIFY(platform::samePath(rows.front()->text(3).toStdString(), program));
        QVERIFY(rows.front()->text(0).isEmpty());

        // Refresh twice: still one row for the child.
        click(window, "Button2");
        click(window, "Button2");
        rows = rowsOf(window, pid);
        QCOMPARE(rows.size(), 1);

        // Without a selection Stop does nothing.
        window.list()->clearSelection();
        window.list()->setCurrentItem(nullptr);
        click(window, "Button1");
        QVERIFY(platform::processExists(pid));

        window.list()->setCurrentItem(rowsOf(window, pid).front());
        click(window, "Button1");
        QVERIFY(rowsOf(window, pid).isEmpty());
        QCOMPARE(children.end(pid), testsupport::kChildKilled);
    }

    void taskManagerSortsByNumberOnHeaderClick() {
        frmTask::Sources sources;
        sources.rows = [] {
            std::vector<platform::ProcessInfo> processes = {
                {100, "c", "", 1}, {9, "a", "", 1}, {10, "b", "", 1}};
            return TaskList::BuildRows(processes, [](std::int32_t) { return std::string(); });
        };
        std::vector<std::int32_t> stopped;
        sources.stop = [&stopped](const TaskList::TaskRow& row) {
            stopped.push_back(row.pid);
            return platform::Termination::Ended;
        };
        frmTask window(nullptr, sources);
        window.Form_Load();
        window.show();
        const auto pids = [&window] {
            QStringList texts;
            for (int row = 0; row < window.list()->topLevelItemCount(); ++row) {
                texts << window.list()->topLevelItem(row)->text(2);
            }
            return texts;
        };
        QCOMPARE(pids(), (QStringList{"100", "9", "10"}));
        QCOMPARE(window.list()->topLevelItem(1)->text(3), QStringLiteral("[Protected]"));
        QHeaderView* header = window.list()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
        QCOMPARE(pids(), (QStringList{"9", "10", "100"}));
        // Stop reaches the row selected after sorting.
        window.list()->setCurrentItem(window.list()->topLevelItem(1));
        click(window, "Button1");
        QCOMPARE(stopped, (std::vector<std::int32_t>{10}));
        QCOMPARE(pids(), (QStringList{"9", "10", "100"}));
    }

    void taskManagerCheckFileMarksListedAndDeletedExecutables() {
        frmTask::Sources sources;
        sources.rows = [] {
            std::vector<platform::ProcessInfo> processes = {{50, "evil", "", 1},
                                                            {51, "gone", "", 1}};
            return TaskList::BuildRows(processes, [](std::int32_t pid) {
                return pid == 50 ? std::string("/opt/evil") : std::string("/opt/gone (deleted)");
            });
        };
        std::vector<std::string> checked;
        sources.check = [&checked](const std::string& path) {
            checked.push_back(path);
            FileScan::Report report;
            report.checksum = "1A2B";
            report.threat = "Db.Threat";
            return report;
        };
        frmTask window(nullptr, sources);
        window.Form_Load();
        window.show();
        DialogAnswers dialogs;
        QTreeWidget* list = window.list();
        QCOMPARE(list->topLevelItem(1)->toolTip(3),
                 QStringLiteral("The executable file has been deleted"));
        QVERIFY(list->topLevelItem(0)->toolTip(3).isEmpty());

        click(window, "Button4");
        QVERIFY(checked.empty());
        QVERIFY(dialogs.messages.empty());

        list->setCurrentItem(list->topLevelItem(0));
        click(window, "Button4");
        QCOMPARE(checked, (std::vector<std::string>{"/opt/evil"}));
        QCOMPARE(dialogs.messages.size(), std::size_t{1});
        QVERIFY(dialogs.messages[0].text.contains(QStringLiteral("Checksum: 1A2B")));
        QVERIFY(dialogs.messages[0].text.endsWith(QStringLiteral("Result: Listed: Db.Threat")));
        QCOMPARE(list->topLevelItem(0)->toolTip(3),
                 QStringLiteral("Listed by the engine: Db.Threat"));

        // A deleted executable has no file left to read.
        list->setCurrentItem(list->topLevelItem(1));
        click(window, "Button4");
        QCOMPARE(checked.size(), std::size_t{1});
        QVERIFY(dialogs.messages.back().text.endsWith(
            QStringLiteral("Not checked: the executable file has been deleted")));
    }

    void explorerScanFileChecksTheSelectedFile() {
        writeFile(m_dir.file("scan/one.exe"), "MZ");
        frmBrowse::Sources sources = browseSources(m_dir.file("scan"));
        std::vector<std::string> checked;
        sources.check = [&checked](const std::string& path) {
            checked.push_back(path);
            FileScan::Report report;
            report.checksum = "99";
            report.type = "Executable";
            return report;
        };
        frmBrowse window(nullptr, sources);
        window.Form_Load();
        window.show();
        DialogAnswers dialogs;
        click(window, "cmdScan");
        QVERIFY(checked.empty());
        window.table()->selectRow(0);
        click(window, "cmdScan");
        QCOMPARE(checked, (std::vector<std::string>{m_dir.file("scan/one.exe")}));
        QCOMPARE(dialogs.messages.size(), std::size_t{1});
        QCOMPARE(dialogs.messages[0].text,
                 QString::fromStdString("File: " + m_dir.file("scan/one.exe") +
                                        "\nChecksum: 99\nType: Executable\nResult: Not listed"));
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Kesto Explorer"));
    }

    void explorerSummariesForEmptyMixedAndSameExtensionFolders() {
        const std::string empty = m_dir.file("empty");
        std::filesystem::create_directories(empty);
        writeFile(m_dir.file("mixed/a.txt"), std::string(1004, 'x'));
        writeFile(m_dir.file("mixed/b.doc"), "12");
        writeFile(m_dir.file("same/a.TXT"), "1");
        writeFile(m_dir.file("same/b.txt"), "2");

        frmBrowse window(nullptr, browseSources(empty));
        window.Form_Load();
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("Kesto Explorer"));
        QCOMPARE(window.table()->model()->rowCount(), 0);
        QCOMPARE(label(window, "lblFileNum"), QStringLiteral(" 0 item(s) in directory."));
        QCOMPARE(label(window, "lblFileSort"), QStringLiteral(" No files were found."));
        QCOMPARE(label(window, "lblDirSize"), QStringLiteral(" 0 Bytes in directory"));
        QCOMPARE(window.driveBox()->currentText(), QString::fromStdString(systemDrive()));

        window.Dir1_Change(m_dir.file("mixed"));
        QCOMPARE(column(*window.table(), 0),
                 (QStringList{QString::fromStdString(m_dir.file("mixed/a.txt")),
                              QString::fromStdString(m_dir.file("mixed/b.doc"))}));
        QCOMPARE(column(*window.table(), 1), (QStringList{".98 KBytes", "2 Bytes"}));
        QCOMPARE(column(*window.table(), 2), (QStringList{"txt File", "doc File"}));
        QCOMPARE(label(window, "lblFileNum"), QStringLiteral(" 2 item(s) in directory."));
        QCOMPARE(label(window, "lblFileSort"), QStringLiteral(" Mulitple sort of files."));
        QCOMPARE(label(window, "lblDirSize"), QStringLiteral(" .98 KBytes in directory"));

        window.Dir1_Change(m_dir.file("same"));
        QCOMPARE(label(window, "lblFileSort"), QStringLiteral(" All of ''TXT'' sort."));
        QCOMPARE(column(*window.table(), 2), (QStringList{"txt File", "txt File"}));

        window.Dir1_Change(empty);
        QCOMPARE(label(window, "lblDirSize"), QStringLiteral(" 0 Bytes in directory."));

        // The folder box shows the chain down to the folder, which is selected.
        QListWidgetItem* current = window.folderBox()->currentItem();
        QVERIFY(current != nullptr);
        QVERIFY(current->text().endsWith(QStringLiteral("empty")));
    }

    void explorerFilterReplacesTheTableButKeepsTheTotal() {
        writeFile(m_dir.file("filter/.secret"), "1234567");
#ifdef _WIN32
        // Windows hides a file by its attribute, not by a leading dot.
        QVERIFY(SetFileAttributesW(platform::windows::widen(m_dir.file("filter/.secret")).c_str(),
                                   FILE_ATTRIBUTE_HIDDEN));
#endif
        writeFile(m_dir.file("filter/note.txt"), "12");
        frmBrowse window(nullptr, browseSources(m_dir.file("filter")));
        window.Form_Load();
        QCOMPARE(window.table()->model()->rowCount(), 2);
        QCOMPARE(label(window, "lblDirSize"), QStringLiteral(" 9 Bytes in directory"));
        window.filterBox()->setCurrentIndex(1);
        window.Combo1_Click();
        QCOMPARE(column(*window.table(), 0),
                 (QStringList{QString::fromStdString(m_dir.file("filter/note.txt"))}));
        QCOMPARE(label(window, "lblFileNum"), QStringLiteral(" 1 item(s) in directory."));
        QCOMPARE(label(window, "lblDirSize"), QStringLiteral(" 9 Bytes in directory"));
        window.filterBox()->setCurrentIndex(0);
        window.Combo1_Click();
        QCOMPARE(window.table()->model()->rowCount(), 2);
    }

    void explorerUnlistableFolderSaysItIsNotAccessible() {
        const std::string locked = m_dir.file("locked");
        writeFile(m_dir.file("locked/one.txt"), "1");
        writeFile(m_dir.file("open/one.txt"), "1");
        frmBrowse::Sources sources = browseSources(m_dir.path());
        sources.listFiles = [locked](const std::string& folder,
                                     std::vector<platform::BrowseEntry>& files) {
            if (folder != locked) {
                return platform::listBrowseFiles(folder, files);
            }
            files.push_back({"half-read", 1, 0, false, false, false});
            return std::error_code(EACCES, std::generic_category());
        };
        frmBrowse window(nullptr, sources);
        window.Form_Load();
        window.Dir1_Change(locked);
        QCOMPARE(window.table()->model()->rowCount(), 0);
        QCOMPARE(label(window, "lblFileNum"), QStringLiteral(" 0 item(s) in directory."));
        QCOMPARE(label(window, "lblFileSort"),
                 QString::fromStdString(" " + in(locked, "") +
                                        " Is not accessible. Permission denied."));
        QCOMPARE(label(window, "lblDirSize"), QStringLiteral(" 0 Bytes in directory."));
        window.Combo1_Click();
        QCOMPARE(label(window, "lblFileSort"),
                 QString::fromStdString(" " + in(locked, "") +
                                        " Is not accessible. Permission denied."));
        window.Dir1_Change(m_dir.file("open"));
        QCOMPARE(label(window, "lblFileSort"), QStringLiteral(" All of ''TXT'' sort."));
    }

    void explorerFilterChangeReadsTheFolderAgain() {
        writeFile(m_dir.file("relist/a.txt"), "1");
        frmBrowse window(nullptr, browseSources(m_dir.file("relist")));
        window.Form_Load();
        QCOMPARE(window.table()->model()->rowCount(), 1);
        QCOMPARE(label(window, "lblDirSize"), QStringLiteral(" 1 Bytes in directory"));
        writeFile(m_dir.file("relist/b.doc"), "22");
        std::filesystem::remove(m_dir.file("relist/a.txt"));
        window.filterBox()->setCurrentIndex(1);
        window.Combo1_Click();
        QCOMPARE(column(*window.table(), 0),
                 (QStringList{QString::fromStdString(m_dir.file("relist/b.doc"))}));
        QCOMPARE(label(window, "lblFileSort"), QStringLiteral(" All of ''DOC'' sort."));
        // The total line is kept until the next folder change.
        QCOMPARE(label(window, "lblDirSize"), QStringLiteral(" 1 Bytes in directory"));
    }

    void explorerShowsEveryNameUnambiguously() {
        const std::string folder = m_dir.file("names/sub\xE2\x80\xAE"
                                              "dir");
#ifdef _WIN32
        // Names are text on Windows: two characters that hide or turn around what follows.
        const std::string otherName = "inv\u2066\u2069.com";
        const QString otherShown = QStringLiteral("inv\\u2066\\u2069.com");
#else
        const std::string otherName = "inv\xFF\xFE.com";
        const QString otherShown = QStringLiteral("inv\\xff\\xfe.com");
#endif
        writeFile(in(folder, kOddName), "1");
        writeFile(in(folder, otherName), "22");
        writeFile(in(folder, "evil\xE2\x80\xAEtxt.exe"), "333");
        const QString shownFolder = QString::fromStdString(m_dir.file("names/sub\\u202Edir/"));
        QStringList paths{shownFolder + QString::fromStdString(kOddShown),
                          shownFolder + "evil\\u202Etxt.exe", shownFolder + otherShown};
        QStringList sizes{"1 Bytes", "3 Bytes", "2 Bytes"};
        QStringList types{"com File", "exe File", "com File"};
#ifndef _WIN32
        // A link is listed as a link. Not made on Windows: under Wine a link is a plain Unix link
        // that every call follows.
        std::filesystem::create_symlink(kOddName, in(folder, "link"));
        paths << shownFolder + "link";
        sizes << "12 Bytes";
        types << "Link";
#endif
        frmBrowse window(nullptr, browseSources(folder));
        window.Form_Load();
        window.show();
        QCOMPARE(column(*window.table(), 0), paths);
        QCOMPARE(column(*window.table(), 1), sizes);
        QCOMPARE(column(*window.table(), 2), types);
        QCOMPARE(window.rowPath(0), in(folder, kOddName));
        // A path too long for its column is cut on one line, never wrapped out of sight; the
        // tooltip shows all of it.
        QVERIFY(!window.table()->wordWrap());
        QCOMPARE(window.table()->model()->index(1, 0).data(Qt::ToolTipRole).toString(), paths[1]);
        QVERIFY(window.folderBox()->currentItem()->text().endsWith(
            QStringLiteral("\u25BE sub\\u202Edir")));

        // Scan File names the file the same way.
        DialogAnswers dialogs;
        frmBrowse::Sources sources = browseSources(folder);
        sources.check = [](const std::string&) { return FileScan::Report{}; };
        frmBrowse scanning(nullptr, sources);
        scanning.Form_Load();
        scanning.table()->selectRow(0);
        scanning.cmdScan_Click();
        QCOMPARE(dialogs.messages.size(), std::size_t{1});
        QVERIFY(dialogs.messages[0].text.startsWith(QStringLiteral("File: ") + paths[0] + "\n"));
    }

    void explorerRunFileSaysWhenTheOpenerFails() {
        writeFile(in(m_dir.file("fail"), kOddName), "x");
        frmBrowse window(nullptr, browseSources(m_dir.file("fail")));
        window.Form_Load();
        window.show();
        window.table()->selectRow(0);
        DialogAnswers dialogs;
        {
            ShellCalls shell;
            shell.succeed = false;
            window.cmdRemove_Click();
            QCOMPARE(shell.requests.size(), std::size_t{1});
        }
        QCOMPARE(dialogs.messages.size(), std::size_t{1});
        QCOMPARE(dialogs.messages[0].style, 48);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Error"));
        const std::string shown = in(m_dir.file("fail"), kOddShown);
#ifdef _WIN32
        // The system opens files itself: there is no opener program to name, or to be missing.
        QCOMPARE(dialogs.messages[0].text,
                 QString::fromStdString("Sorry, " + shown + " could not be opened."));
#else
        QCOMPARE(dialogs.messages[0].text,
                 QString::fromStdString("Sorry, " + shown +
                                        " could not be opened: xdg-open could not be started."));

        // Without an opener on the search path nothing is started and the message says so.
        const SearchPath empty(m_dir.file("fail"));
        window.cmdRemove_Click();
        QCOMPARE(dialogs.messages.size(), std::size_t{2});
        QCOMPARE(dialogs.messages[1].style, 48);
        QCOMPARE(dialogs.messages[1].text,
                 QString::fromStdString("Sorry, " + shown +
                                        " could not be opened: xdg-open, which opens files and web "
                                        "addresses, is not installed."));
#endif
    }

    void explorerDriveNotReadyAsksUntilCancelled() {
        writeFile(m_dir.file("drive/one.txt"), "1");
        frmBrowse window(nullptr, browseSources(m_dir.file("drive")));
        window.Form_Load();
        DialogAnswers dialogs;
        dialogs.answers = {MsgBox::Retry, MsgBox::Retry, MsgBox::Cancel};
        window.driveBox()->setCurrentIndex(1);
        QCOMPARE(dialogs.messages.size(), std::size_t{3});
        for (const DialogAnswers::Message& message : dialogs.messages) {
            QCOMPARE(message.text,
                     QString::fromStdString(kStickShown + " Is not accessible.\r\n\r\n"
                                                          "The device is not ready"));
            QCOMPARE(message.title, QStringLiteral("Zeve Vurevado Daza & Vezire"));
            QCOMPARE(message.style, 21);
        }
        QCOMPARE(window.driveBox()->currentText(), QString::fromStdString(systemDrive()));
        QCOMPARE(window.folder(), m_dir.file("drive"));
        // The window still works: the filter rebuilds the table.
        window.Combo1_Click();
        QCOMPARE(window.table()->model()->rowCount(), 1);

        // Another failure leaves both boxes on the folder's drive without a message.
        frmBrowse::Sources refusing = browseSources(m_dir.file("drive"));
        refusing.probe = [this](const std::string& mountPoint) {
            return mountPoint == systemDrive() ? std::error_code() : kDenied;
        };
        frmBrowse other(nullptr, refusing);
        other.Form_Load();
        other.driveBox()->setCurrentIndex(1);
        QCOMPARE(dialogs.messages.size(), std::size_t{3});
        QCOMPARE(other.driveBox()->currentText(), QString::fromStdString(systemDrive()));
        other.Combo1_Click();
        QCOMPARE(other.table()->model()->rowCount(), 1);
    }

    void explorerRunFileOpensTheSelectedFilesExactBytes() {
        // Spaces, quotes, shell characters and bytes that are not UTF-8 reach the opener as they
        // are, percent-encoded in a file address. Windows hands the path itself to the shell;
        // its names hold no double quote and are text, here in UTF-8.
#ifdef _WIN32
        const std::string name = "a b;'$(x)&^%!.txt";
        const std::string accented = "caf\xC3\xA9.txt";
#else
        const std::string name = "a b;'$(x)\".txt";
        const std::string accented = "caf\xE9.txt";
#endif
        writeFile(m_dir.file("run/" + name), "x");
        writeFile(m_dir.file("run/" + accented), "x");
        writeFile(m_dir.file("run/z.txt"), "y");
        frmBrowse window(nullptr, browseSources(m_dir.file("run")));
        window.Form_Load();
        window.show();
        ShellCalls shell;
        window.table()->clearSelection();
        click(window, "cmdRemove");
        QVERIFY(shell.requests.empty());

        window.table()->selectRow(0);
        click(window, "cmdRemove");
        QCOMPARE(shell.requests.size(), std::size_t{1});
        QVERIFY(shell.requests[0].kind == Shell::Request::Kind::OpenFile);
        QCOMPARE(shell.requests[0].target, m_dir.file("run/" + name));
#ifndef _WIN32
        QVERIFY(shell.requests[0].arguments ==
                std::vector<std::string>{"file://" + m_dir.file("run/") +
                                         "a%20b%3B%27%24%28x%29%22.txt"});
#endif
        window.table()->selectRow(1);
        QCOMPARE(window.selectedPath(), m_dir.file("run/" + accented));
        click(window, "cmdRemove");
        QCOMPARE(shell.requests.size(), std::size_t{2});
        QCOMPARE(shell.requests[1].target, m_dir.file("run/" + accented));
#ifndef _WIN32
        QVERIFY(shell.requests[1].arguments ==
                std::vector<std::string>{"file://" + m_dir.file("run/") + "caf%E9.txt"});
#endif

        // Sorted by name, descending: the selection follows the visible row.
        QHeaderView* header = window.table()->horizontalHeader();
        const QPoint first(header->sectionViewportPosition(0) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, first);
        window.table()->selectRow(0);
        const QModelIndex top = window.table()->model()->index(0, 0);
        const QPoint middle = window.table()->visualRect(top).center();
        // A double click reaches a view as a press, a release, then the double click.
        QTest::mouseClick(window.table()->viewport(), Qt::LeftButton, {}, middle);
        QTest::mouseDClick(window.table()->viewport(), Qt::LeftButton, {}, middle);
        QCOMPARE(shell.requests.size(), std::size_t{3});
        QCOMPARE(shell.requests.back().target, m_dir.file("run/z.txt"));
    }
};

QTEST_MAIN(TaskBrowseWindowsTest)
#include "TaskBrowseWindowsTest.moc"
