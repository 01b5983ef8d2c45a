#include "engine/ui/EngineWindows.h"

#include "WindowLookup.h"
#include "controls/Button.h"
#include "controls/cCommonDialog.h"
#include "engine/KestoEngine.h"
#include "engine/ui/frmSignature.h"
#include "engine/ui/frmTempDb.h"
#include "platform/ScopedSeam.h"
#include "signatures/ExtraSignatures.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QWindow>
#include <filesystem>
#include <optional>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

QCheckBox& check1(const QWidget& window) {
    return *window.findChild<QCheckBox*>(QStringLiteral("Check1"));
}

QListWidget& list1(const QWidget& window) {
    return *window.findChild<QListWidget*>(QStringLiteral("List1"));
}

/// Whether `widgets` lie one below the other without overlapping, all inside `window`.
bool stackedInside(const QWidget& window, std::initializer_list<const QWidget*> widgets) {
    int top = 0;
    for (const QWidget* widget : widgets) {
        const QRect area(widget->mapTo(&window, QPoint(0, 0)), widget->size());
        if (area.top() < top || area.bottom() >= window.height()) {
            return false;
        }
        top = area.bottom() + 1;
    }
    return true;
}

/// The checksum text by the independent reference: upper-case hex without leading zeros.
QString referenceChecksum(const std::string& content) {
    return QString::number(testsupport::zlibCrc32(content), 16).toUpper();
}

/// A program with a packer and a compiler marker in it.
std::string packedProgram() {
    return testsupport::noise(4000, 7) + std::string("UPX!\x0c\x09", 6) +
           std::string("\0\0\0MSVBVM60.DLL\0\0\0", 18) + testsupport::noise(2000, 8);
}

} // namespace

class EngineWindowsTest final : public QObject {
    Q_OBJECT

private:
    TempDir m_dir;
    std::optional<cCommonDialog::FileRequest> m_request;
    int m_dialogs = 0;
    std::optional<platform::ScopedSeam<cCommonDialog::FileHandler>> m_openAnswers;

    std::string databasePath() const { return m_dir.file("Virus Database.dll"); }

    void writeDatabase(const std::vector<std::string>& lines) {
        writeFile(databasePath(), testsupport::databaseText(lines));
    }

    /// The next open dialogs of the test choose `path`; none = the user cancels.
    void answerOpen(std::optional<std::string> path) {
        m_openAnswers.emplace(cCommonDialog::SetOpenHandler,
                              [this, path](const cCommonDialog::FileRequest& request) {
                                  m_request = request;
                                  ++m_dialogs;
                                  cCommonDialog::FileAnswer answer;
                                  if (path) {
                                      answer.result = cCommonDialog::Result::Confirmed;
                                      answer.files = {QString::fromStdString(*path)};
                                  }
                                  return answer;
                              });
    }

    /// Chooses `path` in the inspector through its browse button.
    void browse(frmTempDb& inspector, const std::string& path) {
        answerOpen(path);
        inspector.cmdBrowse_Click();
    }

private slots:
    void init() {
        m_request.reset();
        m_dialogs = 0;
    }

    void cleanup() {
        m_openAnswers.reset();
        KestoEngine::SetTempDbChecksum("");
    }

    void signatureListNumbersDatabaseNamesThenBuiltInNames() {
        writeDatabase({"1A2B:First.Threat", "Whole line without colon", "FFFF:Third:Part",
                       "Selesai:Selesai"});
        QWidget mainWindow;
        EngineWindows windows(&mainWindow, databasePath());
        windows.showSignatures();
        const frmSignature& window = *windows.signatures();

        QCOMPARE(list1(window).count(), 17);
        QCOMPARE(list1(window).item(0)->text(), QStringLiteral("1. First.Threat"));
        QCOMPARE(list1(window).item(1)->text(), QStringLiteral("2. Whole line without colon"));
        QCOMPARE(list1(window).item(2)->text(), QStringLiteral("3. Third:Part"));
        QCOMPARE(list1(window).item(3)->text(), QStringLiteral("4. w32.service"));
        QCOMPARE(list1(window).item(16)->text(), QStringLiteral("17. Suspect level (6)"));
        QCOMPARE(labelText(window, "lblJumlahVirus"), QStringLiteral("Total Signatures : 17"));
        // Listed whole, but no checksum past that line could be looked up.
        QVERIFY(labelText(window, "lblProblem").contains(QStringLiteral("line 2")));
    }

    void signatureDetailsAddALinePerExtraSourceWithItsCount() {
        writeDatabase({"1A2B:First.Threat", "Selesai:Selesai"});
        writeFile(m_dir.file("sources/feed.hashes"),
                  "# two entries\n"
                  "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa:*:One\n"
                  "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\n");
        writeFile(m_dir.file("sources/rules.yar"), "rule Broken { condition: nothing }\n");
        SignatureOptions options;
        options.folders = {m_dir.file("sources")};
        QWidget mainWindow;
        EngineWindows windows(&mainWindow, databasePath(), ExtraSignatures::Load(options));
        windows.showSignatures();
        const frmSignature& window = *windows.signatures();
        // The fixed texts stay; the source that gave signatures follows, the broken one does not.
        const QStringList texts = [&] {
            QStringList all;
            for (const QLabel* label : window.findChildren<QLabel*>()) {
                all << label->text();
            }
            return all;
        }();
        QVERIFY(texts.contains(QStringLiteral("2879")));
        QVERIFY(texts.contains(QStringLiteral("feed.hashes")));
        QVERIFY(texts.contains(QStringLiteral("2 hashes")));
        QVERIFY(!texts.contains(QStringLiteral("rules.yar")));
    }

    void unsoundDatabaseIsListedToItsEndWithANote() {
        // No end line and more entries than the classic list had room for.
        std::vector<std::string> lines;
        for (int i = 1; i <= 6000; ++i) {
            lines.push_back(QString::number(i, 16).toStdString() + ":Name " + std::to_string(i));
        }
        writeDatabase(lines);
        QWidget mainWindow;
        EngineWindows windows(&mainWindow, databasePath());
        windows.showSignatures();
        const frmSignature& window = *windows.signatures();
        const auto* note = window.findChild<QLabel*>(QStringLiteral("lblProblem"));

        QCOMPARE(list1(window).count(), 6014);
        QCOMPARE(list1(window).item(5999)->text(), QStringLiteral("6000. Name 6000"));
        QCOMPARE(list1(window).item(6000)->text(), QStringLiteral("6001. w32.service"));
        QCOMPARE(labelText(window, "lblJumlahVirus"), QStringLiteral("Total Signatures : 6014"));
        QVERIFY(note->isVisible());
        QVERIFY2(note->text().contains(QStringLiteral("no end line")), qPrintable(note->text()));
        // The window grows to hold the note below the list and its total.
        const int heightWithNote = window.height();
        QVERIFY(stackedInside(
            window,
            {&list1(window), window.findChild<QLabel*>(QStringLiteral("lblJumlahVirus")), note}));

        // Reopened after the database went missing: the built-in names alone, and why.
        window.findChild<Button*>(QStringLiteral("cmdTutup"))->Click();
        QVERIFY(!window.isVisible());
        std::filesystem::remove(databasePath());
        windows.showSignatures();
        QCOMPARE(list1(window).count(), 14);
        QCOMPARE(list1(window).item(0)->text(), QStringLiteral("1. w32.service"));
        QVERIFY(note->isVisible());
        QVERIFY2(note->text().contains(QStringLiteral("cannot read")), qPrintable(note->text()));

        // Reopened once the database is sound again: the note is gone.
        window.findChild<Button*>(QStringLiteral("cmdTutup"))->Click();
        writeDatabase({"1:One", "Selesai:Selesai"});
        windows.showSignatures();
        QCOMPARE(list1(window).count(), 15);
        QVERIFY(!note->isVisible());
        QVERIFY(window.height() < heightWithNote);
    }

    void inspectorAsksForAnExistingFileAndShowsWhatItFinds() {
        const std::string path = m_dir.file("tool.exe");
        writeFile(path, packedProgram());
        QWidget mainWindow;
        EngineWindows windows(&mainWindow, databasePath());
        windows.showTempDb();
        frmTempDb& inspector = *windows.tempDb();

        // Nothing can be marked before a file is chosen.
        QVERIFY(!check1(inspector).isEnabled());
        QVERIFY(!check1(inspector).isChecked());

        answerOpen(path);
        click(inspector, "cmdBrowse");
        QCOMPARE(m_dialogs, 1);
        QVERIFY(m_request->filters == (std::vector<cCommonDialog::FilterPair>{
                                          {QStringLiteral("All (*.*)"), QStringLiteral(" *.*")}}));
        QCOMPARE(m_request->filterIndex, 1);
        QCOMPARE(m_request->flags, 0x1000u); // the file must exist, nothing else
        QVERIFY(m_request->initDir.isEmpty() && m_request->title.isEmpty());
        QVERIFY(m_request->defaultExt.isEmpty());
        QCOMPARE(m_request->owner, &inspector);

        QCOMPARE(inspector.findChild<QLineEdit*>(QStringLiteral("txtFileName"))->text(),
                 QString::fromStdString(path));
        QCOMPARE(labelText(inspector, "lblChecksum"), referenceChecksum(packedProgram()));
        QCOMPARE(labelText(inspector, "lblPacker"), QStringLiteral("UPX"));
        QCOMPARE(labelText(inspector, "lblCompiler"), QStringLiteral("MS Visual Basic 6.0"));
        QCOMPARE(labelText(inspector, "lblType"), QStringLiteral("Application"));
        QVERIFY(check1(inspector).isEnabled());

        // A cancelled dialog changes nothing.
        answerOpen(std::nullopt);
        inspector.cmdBrowse_Click();
        QCOMPARE(m_dialogs, 2);
        QCOMPARE(inspector.findChild<QLineEdit*>(QStringLiteral("txtFileName"))->text(),
                 QString::fromStdString(path));
        QCOMPARE(labelText(inspector, "lblChecksum"), referenceChecksum(packedProgram()));
        QCOMPARE(labelText(inspector, "lblType"), QStringLiteral("Application"));
        QVERIFY(check1(inspector).isEnabled());
    }

    void markRuleFollowsSizeAndChecksum() {
        const std::string atLimit = m_dir.file("limit.bin");
        const std::string overLimit = m_dir.file("over.bin");
        const std::string empty = m_dir.file("empty.txt");
        writeFile(atLimit, testsupport::noise(768000, 1));
        writeFile(overLimit, testsupport::noise(768001, 2));
        writeFile(empty, "");
        QWidget mainWindow;
        EngineWindows windows(&mainWindow, databasePath());
        windows.showTempDb();
        frmTempDb& inspector = *windows.tempDb();

        browse(inspector, atLimit);
        QVERIFY(check1(inspector).isEnabled());
        browse(inspector, overLimit);
        QVERIFY(!check1(inspector).isEnabled());
        QCOMPARE(labelText(inspector, "lblChecksum"),
                 referenceChecksum(testsupport::noise(768001, 2)));
        browse(inspector, atLimit);
        QVERIFY(check1(inspector).isEnabled());

        browse(inspector, empty);
        QCOMPARE(labelText(inspector, "lblChecksum"), QStringLiteral("0"));
        QCOMPARE(labelText(inspector, "lblPacker"), QStringLiteral("Unknown"));
        QCOMPARE(labelText(inspector, "lblCompiler"), QStringLiteral("Unknown"));
        QCOMPARE(labelText(inspector, "lblType"), QStringLiteral("Text Document"));
        QVERIFY(!check1(inspector).isEnabled());
    }

    void unreadableFileShowsZeroAndKeepsTheRest() {
        const std::string program = m_dir.file("tool.exe");
        writeFile(program, packedProgram());
        QWidget mainWindow;
        EngineWindows windows(&mainWindow, databasePath());
        windows.showTempDb();
        frmTempDb& inspector = *windows.tempDb();
        browse(inspector, program);
        check1(inspector).setChecked(true);

        const std::string missing = m_dir.file("gone.txt");
        browse(inspector, missing);
        QCOMPARE(inspector.findChild<QLineEdit*>(QStringLiteral("txtFileName"))->text(),
                 QString::fromStdString(missing));
        QCOMPARE(labelText(inspector, "lblChecksum"), QStringLiteral("0"));
        QCOMPARE(labelText(inspector, "lblPacker"), QStringLiteral("UPX"));
        QCOMPARE(labelText(inspector, "lblCompiler"), QStringLiteral("MS Visual Basic 6.0"));
        QCOMPARE(labelText(inspector, "lblType"), QStringLiteral("Application"));
        QVERIFY(check1(inspector).isEnabled());
        QVERIFY(check1(inspector).isChecked());
        // The ticked box does not mark "0", which every unreadable file would match.
        KestoEngine::SetTempDbChecksum("ABC");
        inspector.close();
        QCOMPARE(KestoEngine::TempDbChecksum(), std::string("ABC"));
        KestoEngine::SetTempDbChecksum("");
    }

    void closingMarksTheShownChecksumOnlyWhenTicked() {
        const std::string small = m_dir.file("small.exe");
        const std::string large = m_dir.file("large.exe");
        writeFile(small, testsupport::noise(1000, 3));
        writeFile(large, testsupport::noise(800 * 1024, 4));
        QWidget mainWindow;
        EngineWindows windows(&mainWindow, databasePath());
        windows.showTempDb();
        frmTempDb& inspector = *windows.tempDb();

        // Ticked for a small file, then a large one chosen: the box stays ticked while disabled.
        browse(inspector, small);
        check1(inspector).setChecked(true);
        browse(inspector, large);
        QVERIFY(!check1(inspector).isEnabled());
        QVERIFY(check1(inspector).isChecked());
        click(inspector, "cmdTutup");
        QVERIFY(!inspector.isVisible());
        QCOMPARE(QString::fromStdString(KestoEngine::TempDbChecksum()),
                 referenceChecksum(testsupport::noise(800 * 1024, 4)));

        // The next opening starts from the initial texts; closing unticked keeps the mark.
        windows.showTempDb();
        QVERIFY(inspector.findChild<QLineEdit*>(QStringLiteral("txtFileName"))->text().isEmpty());
        QVERIFY(labelText(inspector, "lblChecksum").isEmpty());
        QVERIFY(labelText(inspector, "lblType").isEmpty());
        QVERIFY(!check1(inspector).isChecked());
        QVERIFY(!check1(inspector).isEnabled());
        browse(inspector, small);
        inspector.close(); // the close box
        QCOMPARE(QString::fromStdString(KestoEngine::TempDbChecksum()),
                 referenceChecksum(testsupport::noise(800 * 1024, 4)));
    }

    void windowsAreOwnedSingleAndKeepTheMainWindowDisabled() {
        writeDatabase({"1:One", "Selesai:Selesai"});
        QWidget mainWindow;
        QPixmap iconPixmap(16, 16);
        iconPixmap.fill(Qt::red);
        mainWindow.setWindowIcon(QIcon(iconPixmap));
        mainWindow.show();
        EngineWindows windows(&mainWindow, databasePath());
        QVERIFY(windows.signatures() == nullptr && windows.tempDb() == nullptr);

        windows.showSignatures();
        frmSignature* signatures = windows.signatures();
        QVERIFY(!mainWindow.isEnabled());
        QVERIFY(signatures->isVisible());
        QVERIFY(signatures->isEnabled());
        QVERIFY(signatures->findChild<QListWidget*>(QStringLiteral("List1"))->isEnabled());
        QCOMPARE(signatures->windowHandle()->transientParent(), mainWindow.windowHandle());
        windows.showSignatures();
        QCOMPARE(windows.signatures(), signatures);
        QCOMPARE(QApplication::topLevelWidgets().count(signatures), 1);
        click(*signatures, "cmdTutup");
        QVERIFY(mainWindow.isEnabled());
        QVERIFY(!signatures->isVisible());

        windows.showTempDb();
        frmTempDb* inspector = windows.tempDb();
        QVERIFY(!mainWindow.isEnabled());
        QVERIFY(inspector->isEnabled());
        QVERIFY(inspector->findChild<Button*>(QStringLiteral("cmdBrowse"))->isEnabled());
        QCOMPARE(inspector->windowHandle()->transientParent(), mainWindow.windowHandle());
        QCOMPARE(inspector->windowIcon().pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::red));
        windows.showTempDb();
        QCOMPARE(windows.tempDb(), inspector);
        inspector->close();
        QVERIFY(mainWindow.isEnabled());
    }
};

QTEST_MAIN(EngineWindowsTest)
#include "EngineWindowsTest.moc"
