#include "DialogAnswers.h"
#include "WindowLookup.h"
#include "platform/ProgramFolder.h"
#include "scanner/QuarantineStore.h"
#include "scanner/ui/frmQuarantine.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/ui/ToolWindows.h"

#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

namespace fs = std::filesystem;

/// Moves `content` into `quarantine` as NAME_vir with a record naming `location`.
void quarantined(const std::string& quarantine, const std::string& name,
                 const std::string& location, const std::string& content) {
    writeFile(quarantine + "/" + name, content);
    platform::FolderHandle folder;
    platform::FileFacts facts;
    QVERIFY(!folder.openPath(quarantine));
    QVERIFY(!platform::factsOf(folder, name, facts));
    facts.mode = 0755;
    QCOMPARE(SealQuarantinedFile(folder, name, location, "Test.Threat", facts), std::string());
}

/// The path with the system's own separators, as the window shows paths.
std::string native(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
    return path;
}

QTreeWidget* list(const QWidget& window) {
    return window.findChild<QTreeWidget*>(QStringLiteral("lvwQuarantine"));
}

} // namespace

class QuarantineWindowTest final : public QObject {
    Q_OBJECT

private slots:
    void listsRestoresAndDeletesWithMessages() {
        TempDir dir;
        const std::string root = fs::canonical(dir.path()).string();
        const std::string quarantine = native(root + "/Karantina");
        fs::create_directories(native(root + "/home"));
        quarantined(quarantine, "a.exe_vir", native(root + "/home/a.exe"), "aaa");
        quarantined(quarantine, "b.exe_vir", native(root + "/home/b.exe"), "bb");
        writeFile(native(quarantine + "/c_vir"), "no record");

        QWidget main;
        ToolWindows tools(&main, ToolSettings{});
        tools.showQuarantine(quarantine);
        frmQuarantine* window = tools.quarantine();
        QVERIFY(window != nullptr && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Kesto -> Quarantine"));
        QTreeWidget* rows = list(*window);
        QCOMPARE(rows->topLevelItemCount(), 3);
        QCOMPARE(rows->topLevelItem(0)->text(0),
                 QString::fromStdString(native(root + "/home/a.exe")));
        QCOMPARE(rows->topLevelItem(0)->text(1), QStringLiteral("Test.Threat"));
        QCOMPARE(rows->topLevelItem(0)->text(2), QStringLiteral("3"));
        QCOMPARE(rows->topLevelItem(2)->text(0), QStringLiteral("(no record)"));

        // Restore of the first row: the file is back with its mode and the row is gone.
        DialogAnswers answers;
        click(*window, "cmdRestore");
        QCOMPARE(answers.messages.size(), std::size_t{1});
        QCOMPARE(answers.messages[0].text,
                 QString::fromStdString("restored 'a.exe_vir' to '" + native(root + "/home/a.exe") +
                                        "'"));
        QCOMPARE(answers.messages[0].style, 64);
        QCOMPARE(readFile(native(root + "/home/a.exe")), std::string("aaa"));
#ifndef _WIN32
        QCOMPARE(fs::status(native(root + "/home/a.exe")).permissions(), fs::perms(0755));
#endif
        QCOMPARE(rows->topLevelItemCount(), 2);

        // A refused restore says why and keeps the row.
        writeFile(native(root + "/home/b.exe"), "occupied");
        click(*window, "cmdRestore");
        QCOMPARE(answers.messages.size(), std::size_t{2});
        QVERIFY(answers.messages[1].text.contains(QStringLiteral("already exists")));
        QCOMPARE(answers.messages[1].style, 48);
        QCOMPARE(rows->topLevelItemCount(), 2);

        // Delete asks first; No keeps the file, Yes removes file and record.
        answers.answers = {MsgBox::No};
        click(*window, "cmdDelete");
        QCOMPARE(answers.messages[2].style, MsgBox::kQuestion + MsgBox::kYesNo);
        QVERIFY(fs::exists(native(quarantine + "/b.exe_vir")));
        answers.answers = {MsgBox::Yes};
        click(*window, "cmdDelete");
        QCOMPARE(answers.messages[4].text, QStringLiteral("deleted 'b.exe_vir' and its record"));
        QVERIFY(!fs::exists(native(quarantine + "/b.exe_vir")));
        QVERIFY(!fs::exists(native(quarantine + "/b.exe.rec")));

        // Without a record the user chooses the folder; cancelling does nothing.
        answers.folder.reset();
        click(*window, "cmdRestore");
        QCOMPARE(answers.messages.size(), std::size_t{5});
        answers.folder = QString::fromStdString(root);
        click(*window, "cmdRestore");
        QCOMPARE(readFile(native(root + "/c")), std::string("no record"));
        QCOMPARE(rows->topLevelItemCount(), 0);
        QVERIFY(!button(*window, "cmdRestore")->isEnabled());
        QVERIFY(!button(*window, "cmdDelete")->isEnabled());

        main.setEnabled(false);
        click(*window, "cmdClose");
        QVERIFY(!window->isVisible());
        QVERIFY(main.isEnabled());
    }
};

QTEST_MAIN(QuarantineWindowTest)
#include "QuarantineWindowTest.moc"
