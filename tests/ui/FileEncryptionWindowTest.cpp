#include "DialogAnswers.h"
#include "WindowLookup.h"
#include "controls/Button.h"
#include "controls/MsgBox.h"
#include "controls/WindowTitle.h"
#include "controls/cCommonDialog.h"
#include "platform/FileCrypt.h"
#include "platform/ScopedSeam.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/frmEnc.h"
#include "tools/ui/frmTools.h"

#include <QLineEdit>
#include <QTest>
#include <sys/stat.h>

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

QLineEdit* box(const QWidget& window, const char* name) {
    return window.findChild<QLineEdit*>(QString::fromLatin1(name));
}

} // namespace

class FileEncryptionWindowTest final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
#ifdef _WIN32
    std::vector<std::pair<std::wstring, bool>> m_calls;
    std::unique_ptr<platform::ScopedSeam<platform::SystemCrypt>> m_system;
#endif

    ToolSettings settings() const {
        ToolSettings settings;
        settings.keyFolder = m_dir->file("keys");
        settings.timersTick = false;
        return settings;
    }

    /// Clicks a button, lets the rewrite finish, and returns the message shown.
    static DialogAnswers::Message run(frmEnc& window, const char* name) {
        DialogAnswers answers;
        click(window, name);
        window.finishWork();
        return answers.messages.size() == 1
                   ? answers.messages.front()
                   : DialogAnswers::Message{QStringLiteral("none"), -1, QString()};
    }

private slots:
    void init() {
        m_dir = std::make_unique<TempDir>();
#ifdef _WIN32
        // The file system encrypts on Windows, and reads back plain to its owner; Wine cannot.
        // What the window asks of the system is recorded instead.
        m_calls.clear();
        m_system = std::make_unique<platform::ScopedSeam<platform::SystemCrypt>>(
            platform::setSystemCrypt, [this](const std::wstring& file, bool encrypt) {
                m_calls.emplace_back(file, encrypt);
                return 0UL;
            });
#endif
    }
#ifdef _WIN32
    void cleanup() {
        m_system.reset();
    }
#endif

    void toolsButtonOpensTheWindowWithItsTexts() {
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showTools();
        click(*tools.tools(), "Button7");
        frmEnc* window = tools.enc();
        QVERIFY(window != nullptr && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Kesto -> Encrypt File"));
        QVERIFY(window->width() >= WindowTitle::minimumWidth(window->windowTitle()));
        QCOMPARE(labelText(*window, "Label1"), QStringLiteral("Encrypt File"));
        QCOMPARE(labelText(*window, "Label2"), QStringLiteral("Decrypt File"));
        QCOMPARE(labelText(*window, "Label3_0"),
                 QStringLiteral("Path (Example : F:\\Antivirus.doc)"));
        QCOMPARE(labelText(*window, "Label3_1"),
                 QStringLiteral("Path (Example : F:\\Antivirus.doc)"));
        QCOMPARE(button(*window, "Command1")->Caption(), QStringLiteral("Encrypt"));
        QCOMPARE(button(*window, "Command2")->Caption(), QStringLiteral("Decrypt"));
        // The boxes start empty every time the window opens.
        box(*window, "Text1")->setText(QStringLiteral("left over"));
        window->close();
        tools.showEnc();
        QCOMPARE(box(*window, "Text1")->text(), QString());
    }

    void encryptAndDecryptSayWhetherTheyWorked() {
        const std::string path = m_dir->file("note.txt");
        writeFile(path, "plain words");
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showEnc();
        frmEnc& window = *tools.enc();

        box(window, "Text1")
            ->setText(QStringLiteral("  ") + QString::fromStdString(path) + QStringLiteral("  "));
        const DialogAnswers::Message encrypted = run(window, "Command1");
        QCOMPARE(encrypted.text, QStringLiteral("Success"));
        QCOMPARE(encrypted.style, 0);
        QCOMPARE(encrypted.title, MsgBox::ApplicationTitle());
#ifndef _WIN32
        QVERIFY(readFile(path) != "plain words");
#endif
        QVERIFY(box(window, "Text1")->text().startsWith(QStringLiteral("  ")));

        box(window, "Text2")->setText(QString::fromStdString(path));
        QCOMPARE(run(window, "Command2").text, QStringLiteral("Success"));
        QCOMPARE(readFile(path), std::string("plain words"));
#ifdef _WIN32
        // The blanks around the typed path are not part of it.
        QCOMPARE(m_calls.size(), std::size_t{2});
        QVERIFY(m_calls[0].second && !m_calls[1].second);
        QVERIFY(m_calls[0].first == m_calls[1].first);
        QVERIFY(m_calls[0].first.ends_with(L"\\note.txt"));
#endif

        box(window, "Text1")->setText(QStringLiteral("   "));
        QCOMPARE(run(window, "Command1").text, QStringLiteral("Failed\r\nNo file given."));
        box(window, "Text2")->setText(QString::fromStdString(m_dir->file("missing")));
#ifdef _WIN32
        // The reason is the system's own text, which differs between its versions.
        QVERIFY(run(window, "Command2").text.startsWith(QStringLiteral("Failed\r\n")));
#else
        QCOMPARE(run(window, "Command2").text,
                 QStringLiteral("Failed\r\nNo such file or directory."));
#endif
        QVERIFY(button(window, "Command1")->isEnabled());
        QVERIFY(!window.busy());
    }

    void aRefusedKeyIsNamedWithItsRepair() {
#ifdef _WIN32
        QSKIP("Windows encrypts with the file system's own encryption, which keeps no key file");
#endif
        const std::string path = m_dir->file("note.txt");
        writeFile(path, "plain words");
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showEnc();
        frmEnc& window = *tools.enc();
        box(window, "Text1")->setText(QString::fromStdString(path));
        QCOMPARE(run(window, "Command1").text, QStringLiteral("Success"));
        const std::string key = m_dir->file("keys/file-encryption.key");
        QCOMPARE(::chmod(key.c_str(), 0644), 0);
        box(window, "Text2")->setText(QString::fromStdString(path));
        QCOMPARE(run(window, "Command2").text,
                 QString::fromStdString("Failed\r\nThe key file '" + key +
                                        "' can be read or changed by other users, so it is not "
                                        "used; make it private with: chmod 600 '" +
                                        key + "'."));
        QVERIFY(readFile(path) != "plain words");
    }

    void aBigFileShowsProgressWhileTheWindowStaysUsable() {
        const std::string path = m_dir->file("big.bin");
        const std::string content = testsupport::noise(9 * 1024 * 1024);
        writeFile(path, content);
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showEnc();
        frmEnc& window = *tools.enc();
        auto* bar = window.findChild<QWidget*>(QStringLiteral("ProgressBar1"));
        QVERIFY(!bar->isVisible());
        box(window, "Text1")->setText(QString::fromStdString(path));
        DialogAnswers answers;
        click(window, "Command1");
        // The click returns at once; the rewrite runs beside the window.
        QVERIFY(window.busy());
        QVERIFY(bar->isVisible());
        // The bar shows a percentage, never the control's own name.
        QVERIFY(bar->property("Text").toString().endsWith(QStringLiteral(" %")));
        QVERIFY(!button(window, "Command2")->isEnabled());
        window.finishWork();
        QCOMPARE(answers.messages.size(), std::size_t{1});
        QCOMPARE(answers.messages[0].text, QStringLiteral("Success"));
        QVERIFY(!bar->isVisible());
        QVERIFY(button(window, "Command2")->isEnabled());
        box(window, "Text2")->setText(QString::fromStdString(path));
        QCOMPARE(run(window, "Command2").text, QStringLiteral("Success"));
        QVERIFY(readFile(path) == content);
    }

    void theBrowseButtonFillsItsBox() {
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showEnc();
        frmEnc& window = *tools.enc();
        {
            const platform::ScopedSeam chosen(
                cCommonDialog::SetOpenHandler, [](const cCommonDialog::FileRequest&) {
                    cCommonDialog::FileAnswer answer;
                    answer.result = cCommonDialog::Result::Confirmed;
                    answer.files = {QStringLiteral("/chosen/file.doc")};
                    return answer;
                });
            click(window, "cmdBrowse2");
        }
        QCOMPARE(box(window, "Text2")->text(), QStringLiteral("/chosen/file.doc"));
        QCOMPARE(box(window, "Text1")->text(), QString());
    }
};

QTEST_MAIN(FileEncryptionWindowTest)
#include "FileEncryptionWindowTest.moc"
