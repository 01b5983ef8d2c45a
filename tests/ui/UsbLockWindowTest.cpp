#include "DialogAnswers.h"
#include "WindowLookup.h"
#include "controls/Button.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/UsbLock.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/frmLock.h"
#include "tools/ui/frmTools.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <filesystem>

#ifdef _WIN32
#include "platform/Registry.h"
#include "platform/windows/WideText.h"

// Last: windows.h turns the registry's names into macros, which modReg also declares.
#include <windows.h>
#endif

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

#ifdef _WIN32
/// HKEY_LOCAL_MACHINE as modReg numbers it (windows.h made its name a macro).
constexpr std::uint32_t kMachine = 0x80000002U;
#endif

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
#ifdef _WIN32
    /// A key of the test's own below HKEY_LOCAL_MACHINE, new for each case and removed after it;
    /// the window's driver key is "USBSTOR" below it, so the real one is never touched.
    std::string m_scratch;
    int m_cases = 0;
#else
    std::unique_ptr<TempDir> m_dir;
#endif
    modReg::Locations m_where;

    ToolSettings settings() const {
        ToolSettings settings;
        settings.usbLock = m_where;
        settings.timersTick = false;
        return settings;
    }
#ifdef _WIN32
    void setStart(std::uint32_t start) const {
        platform::RegistryKey key;
        QCOMPARE(key.open(kMachine, m_where.usbStorKey, true), 0L);
        const char bytes[4] = {static_cast<char>(start), 0, 0, 0};
        QCOMPARE(key.set("Start", platform::kRegistryNumber, std::string(bytes, 4)), 0L);
    }
#else
    std::string ruleFile() const {
        return m_where.ruleFolder + "/" + modReg::kRuleFileName;
    }
    void setStart(std::uint32_t start) const {
        std::filesystem::create_directories(m_where.ruleFolder);
        writeFile(ruleFile(), modReg::RuleFileText(start));
    }
#endif

private slots:
    void init() {
#ifdef _WIN32
        m_scratch = "SOFTWARE\\KestoTest-UsbLockWindow-" +
                    std::to_string(QCoreApplication::applicationPid()) + "-" +
                    std::to_string(++m_cases);
        m_where.usbStorKey = m_scratch + "\\USBSTOR";
        {
            platform::RegistryKey probe;
            if (probe.open(kMachine, m_scratch, true) == ERROR_ACCESS_DENIED) {
                QSKIP("making keys below HKEY_LOCAL_MACHINE needs administrator rights");
            }
        }
        // Each case starts without the key: the failed lock makes it itself.
        platform::removeRegistryKey(kMachine, m_scratch);
#else
        m_dir = std::make_unique<TempDir>();
        m_where = {m_dir->file("store"), m_dir->file("modprobe.d")};
#endif
    }

#ifdef _WIN32
    void cleanup() {
        platform::removeRegistryKey(kMachine, m_scratch);
    }
#endif

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
#ifdef _WIN32
        // The registry gives nothing cheaper to compare than the value: each tick reads it.
        QCOMPARE(window->ruleReads(), reads + 1);
        // A missing value changes nothing, and neither does a text that reads as a number.
        {
            platform::RegistryKey key;
            QCOMPARE(key.open(kMachine, m_where.usbStorKey, false), 0L);
            QCOMPARE(key.removeValue("Start"), 0L);
            window->Timer1_Timer();
            QCOMPARE(stateOf(*window), QStringLiteral("Un-Locked||-U|l-"));
            QCOMPARE(key.set("Start", platform::kRegistryText, "4"), 0L);
            window->Timer1_Timer();
            QCOMPARE(stateOf(*window), QStringLiteral("Un-Locked|4|-U|l-"));
        }
#else
        QCOMPARE(window->ruleReads(), reads);
#endif
        // An unreadable value changes nothing; on Windows, a driver key that is gone.
#ifdef _WIN32
        platform::removeRegistryKey(kMachine, m_where.usbStorKey);
#else
        std::filesystem::remove(ruleFile());
        std::filesystem::create_directory(ruleFile());
#endif
        window->Timer1_Timer();
        QCOMPARE(stateOf(*window), QStringLiteral("Un-Locked||-U|l-"));
    }

    void aNumberTheBlockingLinesContradictShowsNeither() {
#ifdef _WIN32
        QSKIP("the registry holds the number alone: there are no blocking lines to contradict it");
#else
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
#endif
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
#ifdef _WIN32
        // A key below a volatile key must be volatile too: the driver's key cannot be made there,
        // even by an administrator.
        HKEY parent = nullptr;
        QCOMPARE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, platform::windows::widen(m_scratch).c_str(), 0,
                                 nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                 nullptr, &parent, nullptr),
                 ERROR_SUCCESS);
        RegCloseKey(parent);
#else
        // A rule folder that is a file cannot be written, even by root.
        writeFile(m_where.ruleFolder, "not a folder");
#endif
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
#ifdef _WIN32
        QVERIFY(std::holds_alternative<std::monostate>(UsbLock::ReadStart(m_where)));
        QCOMPARE(UsbLock::ReadStatus(m_where).found, modReg::Found::NoKey);
#else
        QCOMPARE(readFile(m_where.ruleFolder), std::string("not a folder"));
#endif
    }
};

QTEST_MAIN(UsbLockWindowTest)
#include "UsbLockWindowTest.moc"
