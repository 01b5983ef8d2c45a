#include "DialogAnswers.h"
#include "WindowLookup.h"
#include "controls/Button.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/UsbLock.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/frmLock.h"
#include "tools/ui/frmTools.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <filesystem>

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

QLabel* picture(const QWidget& window, const char* name) {
    return window.findChild<QLabel*>(QString::fromLatin1(name));
}

/// The visible state: status word, which picture shows, which buttons are enabled.
QString stateOf(const frmLock& window) {
    return labelText(window, "Label4") + "|" + labelText(window, "Label1") + "|" +
           (picture(window, "imgLock")->isVisibleTo(&window) ? "L" : "-") +
           (picture(window, "imgUnLock")->isVisibleTo(&window) ? "U" : "-") + "|" +
           (button(window, "cmdLock")->isEnabled() ? "l" : "-") +
           (button(window, "cmdUnLock")->isEnabled() ? "u" : "-");
}

} // namespace

class UsbLockWindowTest final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    modReg::Locations m_where;

    ToolSettings settings() const {
        ToolSettings settings;
        settings.usbLock = m_where;
        settings.timersTick = false;
        return settings;
    }
    std::string ruleFile() const { return m_where.ruleFolder + "/" + modReg::kRuleFileName; }
    void setStart(std::uint32_t start) const {
        std::filesystem::create_directories(m_where.ruleFolder);
        writeFile(ruleFile(), modReg::RuleFileText(start));
    }

private slots:
    void init() {
        m_dir = std::make_unique<TempDir>();
        m_where = {m_dir->file("store"), m_dir->file("modprobe.d")};
    }

    void toolsButtonOpensTheLockWindowWithItsTexts() {
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showTools();
        QVERIFY(button(*tools.tools(), "Button1")->isEnabled());
        click(*tools.tools(), "Button1");
        frmLock* window = tools.lock();
        QVERIFY(window != nullptr && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Kesto -> USB Port Locked"));
        QCOMPARE(window->timer()->interval(), 100);
        QCOMPARE(button(*window, "cmdLock")->Caption(), QStringLiteral("Lock USB Port"));
        QCOMPARE(button(*window, "cmdUnLock")->Caption(), QStringLiteral("Un-Lock USB Port"));
        QCOMPARE(labelText(*window, "Label3"), QStringLiteral("Current Status:"));
        // The raw value's label is 90 twips wide.
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label1"))->width(), 6);
        // The design-time state shows until the first tick.
        QCOMPARE(stateOf(*window), QStringLiteral("Un-Locked|3|--|lu"));

        DialogAnswers answers;
        click(*window, "Command1");
        click(*window, "Command2");
        QCOMPARE(answers.messages.size(), std::size_t{2});
        QCOMPARE(answers.messages[0].text, QString::fromStdString(UsbLock::ReadMeText()));
        QCOMPARE(answers.messages[0].title, QStringLiteral("About the protection..."));
        QCOMPARE(answers.messages[0].style, 64);
        QCOMPARE(answers.messages[1].text, QString::fromStdString(UsbLock::AboutText()));
        QCOMPARE(answers.messages[1].title, QStringLiteral("About USB Port Locked"));
        main.setEnabled(false);
        click(*window, "cmdExit");
        QVERIFY(!window->isVisible());
        QVERIFY(main.isEnabled());
    }

    void theTickShowsTheWholeStateForThreeAndFourAndNothingElse() {
        QWidget main;
        ToolWindows tools(&main, settings());
        setStart(1);
        tools.showLock();
        frmLock* window = tools.lock();
        window->Timer1_Timer();
        QCOMPARE(stateOf(*window), QStringLiteral("Un-Locked|1|--|lu"));
        setStart(4);
        window->Timer1_Timer();
        QCOMPARE(stateOf(*window), QStringLiteral("Locked|4|L-|-u"));
        QCOMPARE(picture(*window, "imgLock")->toolTip(), QStringLiteral("Locked"));
        // An outside change shows at the next poll, buttons and pictures included.
        setStart(3);
        window->Timer1_Timer();
        QCOMPARE(stateOf(*window), QStringLiteral("Un-Locked|3|-U|l-"));
        QCOMPARE(picture(*window, "imgUnLock")->toolTip(), QStringLiteral("Un-Locked"));
        const int reads = window->ruleReads();
        window->Timer1_Timer();
        QCOMPARE(window->ruleReads(), reads);
        // An unreadable value changes nothing.
        std::filesystem::remove(ruleFile());
        std::filesystem::create_directory(ruleFile());
        window->Timer1_Timer();
        QCOMPARE(stateOf(*window), QStringLiteral("Un-Locked||-U|l-"));
    }

    void aNumberTheBlockingLinesContradictShowsNeither() {
        QWidget main;
        ToolWindows tools(&main, settings());
        setStart(4);
        tools.showLock();
        frmLock* window = tools.lock();
        window->Timer1_Timer();
        QCOMPARE(stateOf(*window), QStringLiteral("Locked|4|L-|-u"));
        // The lines that block the drivers are gone: the window no longer says locked.
        writeFile(ruleFile(), "# Kesto Virus Scanner USB storage lock: Start=4\n");
        window->Timer1_Timer();
        QCOMPARE(stateOf(*window), QStringLiteral("Neither|4|--|lu"));
        QCOMPARE(picture(*window, "Label4")->toolTip(),
                 QStringLiteral("Neither (Start=4, no blocking lines)"));
        // Every blocking line under the number 3: not un-locked either.
        writeFile(ruleFile(), modReg::RuleFileText(3) + modReg::RuleFileText(4).substr(48));
        window->Timer1_Timer();
        QCOMPARE(stateOf(*window), QStringLiteral("Neither|3|--|lu"));
        DialogAnswers answers;
        click(*window, "cmdLock");
        QCOMPARE(readFile(ruleFile()), modReg::RuleFileText(4));
        window->Timer1_Timer();
        QCOMPARE(stateOf(*window), QStringLiteral("Locked|4|L-|-u"));
        QCOMPARE(picture(*window, "Label4")->toolTip(), QString());
    }

    void lockAndUnLockWriteTheRuleAndSaySo() {
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showLock();
        frmLock* window = tools.lock();
        DialogAnswers answers;
        click(*window, "cmdLock");
        QCOMPARE(UsbLock::ReadStart(m_where), modReg::Value(std::uint32_t{4}));
        QCOMPARE(stateOf(*window), QStringLiteral("Locked|3|L-|-u"));
        click(*window, "cmdUnLock");
        QCOMPARE(UsbLock::ReadStart(m_where), modReg::Value(std::uint32_t{3}));
        QCOMPARE(stateOf(*window), QStringLiteral("Un-Locked|3|-U|l-"));
        QCOMPARE(answers.messages.size(), std::size_t{2});
        QCOMPARE(answers.messages[0].text, QStringLiteral(" USB Port Has Been Locked..."));
        QCOMPARE(answers.messages[0].title, QStringLiteral("Locked"));
        QCOMPARE(answers.messages[0].style, 48);
        QCOMPARE(answers.messages[1].text, QStringLiteral(" USB Port Has Been Un-Locked..."));
        QCOMPARE(answers.messages[1].title, QStringLiteral("Un-Locked"));
        QCOMPARE(answers.messages[1].style, 48);
    }

    void aFailedLockShowsTheReasonAndChangesNothing() {
        // A rule folder that is a file cannot be written, even by root.
        writeFile(m_where.ruleFolder, "not a folder");
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showLock();
        frmLock* window = tools.lock();
        DialogAnswers answers;
        click(*window, "cmdLock");
        QCOMPARE(answers.messages.size(), std::size_t{1});
        QVERIFY(answers.messages[0].text.startsWith(
            QStringLiteral(" USB Port could not be locked.\r\n")));
        QCOMPARE(answers.messages[0].title, QStringLiteral("Locked"));
        QCOMPARE(answers.messages[0].style, 16);
        QCOMPARE(stateOf(*window), QStringLiteral("Un-Locked|3|--|lu"));
        QCOMPARE(readFile(m_where.ruleFolder), std::string("not a folder"));
    }
};

QTEST_MAIN(UsbLockWindowTest)
#include "UsbLockWindowTest.moc"
