#include "tools/ui/ToolWindows.h"

#include "DialogAnswers.h"
#include "ShellCalls.h"
#include "WindowLookup.h"
#include "app/Antivirus.h"
#include "controls/Button.h"
#include "controls/WindowTitle.h"
#include "guard/GuardStatus.h"
#include "platform/ProgramFolder.h"
#include "smart/ui/frmHDD.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/AboutTexts.h"
#include "tools/SystemPrograms.h"
#include "tools/ui/frmAbout.h"
#include "tools/ui/frmBrowse.h"
#include "tools/ui/frmDrive.h"
#include "tools/ui/frmMem.h"
#include "tools/ui/frmSystem.h"
#include "tools/ui/frmTask.h"
#include "tools/ui/frmTools.h"
#include "tools/ui/frmWinTools.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <unistd.h>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

/// How many visible top-level windows carry `title`.
int windowsTitled(const QString& title) {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        count += widget->isVisible() && widget->windowTitle() == title ? 1 : 0;
    }
    return count;
}

/// A tool window as the program shows it: top level, blocking the whole program.
bool shownAsToolWindow(const QWidget* window) {
    return window != nullptr && window->isVisible() && window->parentWidget() == nullptr &&
           window->isWindow() && window->windowModality() == Qt::ApplicationModal;
}

// Two drives as this system names them: the system's own and a removable stick.
#ifdef _WIN32
const std::string kSystemDrive = "C:\\";
const std::string kStick = "E:\\";
const std::string kStickShown = "E:\\";
#else
const std::string kSystemDrive = "/";
const std::string kStick = "/media/stick";
const std::string kStickShown = "/media/stick/";
#endif

} // namespace

class ToolWindowsTest final : public QObject {
    Q_OBJECT

private:
    TempDir m_dir;
    std::uint64_t m_available = 200 * kMiB;
    std::set<std::string> m_installed;

    ToolSettings settings() {
        ToolSettings settings;
        settings.programFolder = m_dir.file("program");
        // No guard has written a status here, whatever runs on this computer.
        settings.guardStateFolder = m_dir.file("guard-none");
        settings.systemRows = [] { return SystemInfo::SystemRows("alice", "/usr", "/usr/bin"); };
        settings.memoryStatus = [this] {
            platform::MemoryStatus status;
            status.totalPhysical = 512 * kMiB;
            status.availablePhysical = m_available;
            status.totalVirtual = 2048 * kMiB;
            status.availableVirtual = 2000 * kMiB;
            status.swapTotal = 100 * kMiB;
            status.swapFree = 75 * kMiB;
            return status;
        };
        settings.driveReport = [] {
            std::vector<platform::Drive> drives(2);
            drives[0] = {"/dev/sda1", kSystemDrive, "ext4", false, true};
            drives[1] = {"/dev/sdb1", kStick, "vfat", true, true};
            return SystemInfo::BuildDriveReport(drives, [](const std::string& point) {
                if (point == kSystemDrive) {
                    return std::optional<platform::Space>(
                        platform::Space{1024 * kMiB, 256 * kMiB, 256 * kMiB});
                }
                return std::optional<platform::Space>();
            });
        };
        SystemPrograms::Environment programs;
        programs.findProgram = [this](const std::string& name) -> std::optional<std::string> {
            if (m_installed.count(name) == 0) {
                return std::nullopt;
            }
            return "/fake/bin/" + name;
        };
        programs.homeFolder = "/home/alice";
        programs.registryFolder = m_dir.file("registry");
        settings.programs = programs;
        settings.driveInfo = [](int) { return mSMARTDef::DriveInfo{}; };
        settings.timersTick = false; // the tests tick the clocks themselves
        return settings;
    }

private slots:
    void init() {
        m_available = 200 * kMiB;
        m_installed.clear();
        std::filesystem::create_directories(m_dir.file("program"));
        std::filesystem::remove(m_dir.file("program/ReadMe.txt"));
        std::filesystem::remove_all(m_dir.file("registry"));
    }

    void toolsWindowOpensItsInformationWindowsOnce() {
        QWidget main;
        main.show();
        ToolWindows tools(&main, settings());
        tools.showTools();
        frmTools* panel = tools.tools();
        QVERIFY(shownAsToolWindow(panel));
        QCOMPARE(panel->windowTitle(), QStringLiteral("Kesto -> Virus Scanner Tools"));
        QVERIFY(main.isEnabled());
        // Two columns of buttons 136 pixels apart, centred in a window that may be wider.
        const int margin = (panel->width() - 281) / 2;
        QCOMPARE(button(*panel, "Button3")->geometry(), QRect(margin + 16, 56, 113, 25));
        QCOMPARE(button(*panel, "Button8")->geometry(), QRect(margin + 152, 136, 113, 25));

        const struct {
            const char* name;
            const char* title;
            QWidget* (*window)(const ToolWindows&);
        } openers[] = {
            {"Button3", "Kesto -> Drive Space Info",
             [](const ToolWindows& t) -> QWidget* { return t.drive(); }},
            {"Button5", "Kesto -> Memory Status (RAM)",
             [](const ToolWindows& t) -> QWidget* { return t.mem(); }},
            {"Button4", "Kesto -> Get System Information",
             [](const ToolWindows& t) -> QWidget* { return t.system(); }},
            {"Button6", "Get Serial Harddisk",
             [](const ToolWindows& t) -> QWidget* { return t.hdd(); }},
            {"Button2", "Kesto -> Task Manager",
             [](const ToolWindows& t) -> QWidget* { return t.task(); }},
            {"Button8", "Kesto Explorer",
             [](const ToolWindows& t) -> QWidget* { return t.browse(); }},
        };
        for (const auto& opener : openers) {
            QVERIFY(button(*panel, opener.name)->isEnabled());
            click(*panel, opener.name);
            QWidget* opened = opener.window(tools);
            QVERIFY(shownAsToolWindow(opened));
            QCOMPARE(opened->windowTitle(), QString::fromLatin1(opener.title));
            main.setEnabled(false);
            opened->close();
            QVERIFY(main.isEnabled());
            QVERIFY(panel->isVisible()); // the tools window stays open
            click(*panel, opener.name);
            QCOMPARE(opener.window(tools), opened);
            QCOMPARE(windowsTitled(QString::fromLatin1(opener.title)), 1);
            opened->close();
        }
        panel->close();
        QVERIFY(!panel->isVisible());
    }

    void toolsWindowIsWideEnoughForItsTitle() {
        // The title font grows the width; the title alone is never enough room.
        QFont font(QStringLiteral("DejaVu Sans"), 9);
        const QString title = QStringLiteral("Kesto -> Virus Scanner Tools");
        QFont bold(font);
        bold.setBold(true);
        const int text = QFontMetrics(bold).horizontalAdvance(title);
        const int width = WindowTitle::minimumWidth(title, font);
        QVERIFY(width >= text + 4 * 2 * QFontMetrics(bold).height());
        font.setPointSize(12);
        QVERIFY(WindowTitle::minimumWidth(title, font) > width);
        QVERIFY(WindowTitle::minimumWidth(QStringLiteral("Kesto"), font) <
                WindowTitle::minimumWidth(title, font));

        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showTools();
        frmTools* panel = tools.tools();
        QVERIFY(panel->width() >= WindowTitle::minimumWidth(panel->windowTitle()));
        QCOMPARE(panel->minimumWidth(), panel->maximumWidth());
        // The buttons sit in the middle, with as much room to their left as to their right.
        const QRect left = button(*panel, "Button7")->geometry();
        const QRect right = button(*panel, "Button2")->geometry();
        QVERIFY(std::abs(left.left() - (panel->width() - 1 - right.right())) <= 1);
    }

    void aboutEngineBoxShowsEveryLine() {
        // The longest guard line: a guard (this process) that runs.
        GuardStatus guard;
        guard.pid = getpid();
        guard.updatedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
        guard.startedNs = guard.updatedNs;
        QVERIFY(!WriteGuardStatus(m_dir.file("guard-running"), guard));
        // The default font and a larger desktop font, as a window manager's session may set.
        const QFont original = QApplication::font();
        for (const int points : {0, 11}) {
            QFont font = original;
            if (points != 0) {
                font.setPointSize(points);
            }
            QApplication::setFont(font);
            QWidget main;
            frmAbout about(&main, m_dir.file("program"), false, m_dir.file("guard-running"));
            about.show();
            auto* engine = about.findChild<QGroupBox*>(QStringLiteral("FrameEngine"));
            const QList<QLabel*> facts = engine->findChildren<QLabel*>();
            QCOMPARE(facts.size(), 3);
#ifdef _WIN32
            QCOMPARE(facts.back()->text(), QStringLiteral("Guard: only on Linux"));
#else
            QVERIFY(facts.back()->text().startsWith(QStringLiteral("Guard: running since ")));
#endif
            for (const QLabel* fact : facts) {
                const QString what = QStringLiteral("%1 at %2 points")
                                         .arg(fact->text())
                                         .arg(QApplication::font().pointSize());
                QVERIFY2(engine->contentsRect().contains(fact->geometry()), qPrintable(what));
                QVERIFY2(fact->height() >= fact->heightForWidth(fact->width()), qPrintable(what));
            }
            // The buttons lie below the box and inside the window.
            for (const char* name : {"cmdVisitMe", "Button1", "cmd_tutup"}) {
                const QRect place = button(about, name)->geometry();
                QVERIFY(place.top() > engine->geometry().bottom());
                QVERIFY(about.rect().contains(place));
            }
            // The box's own border is drawn below its last line of text.
            const QImage image = engine->grab().toImage();
            const int last = facts.back()->geometry().bottom();
            QVERIFY(last < image.height() - 1);
            about.close();
        }
        QApplication::setFont(original);
    }

    void informationWindowsShowTheCoreTexts() {
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showSystem();
        QCOMPARE(tools.system()->findChild<QLineEdit*>(QStringLiteral("Text1"))->text(),
                 QStringLiteral("alice"));
        QCOMPARE(tools.system()->findChild<QLineEdit*>(QStringLiteral("Text2"))->text(),
                 QStringLiteral("/usr") + QChar(platform::kPathSeparator));
        QCOMPARE(tools.system()->findChild<QLineEdit*>(QStringLiteral("Text3"))->text(),
                 QStringLiteral("/usr/bin") + QChar(platform::kPathSeparator));
        QCOMPARE(labelText(*tools.system(), "Label1_1"), QStringLiteral("Windows Directory"));

        tools.showDrive();
        const auto* report = tools.drive()->findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
        QCOMPARE(report->toPlainText(),
                 QString::fromStdString(kSystemDrive +
                                        "\n-> Drive Size : 1024 MB\n-> Space Used : "
                                        "768 MB\n-> Free Space : 256 MB\n\n" +
                                        kStickShown +
                                        "\n-> Drive Size : 0 MB\n-> Space Used : 0 MB\n"
                                        "-> Free Space : 0 MB\n\n"));
        QCOMPARE(report->toolTip(),
                 QString::fromStdString(kSystemDrive + " - /dev/sda1, ext4, 75% used\n" +
                                        kStickShown +
                                        " - /dev/sdb1, vfat, space unknown, removable"));
    }

    void memoryLabelsShowResUntilTheTimerFiresAndFollowChanges() {
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showMem();
        frmMem* memory = tools.mem();
        QCOMPARE(memory->timer()->interval(), 500);
        for (int row = 0; row < 6; ++row) {
            QCOMPARE(labelText(*memory, QStringLiteral("lblRes_%1").arg(row).toLatin1().data()),
                     QStringLiteral("Res"));
        }
        QCOMPARE(labelText(*memory, "Label1_1"), QStringLiteral("Physical Memory Used (RAM)"));
        memory->Timer1_Timer();
        QCOMPARE(labelText(*memory, "lblRes_0"), QStringLiteral("512 MB"));
        QCOMPARE(labelText(*memory, "lblRes_1"), QStringLiteral("312 MB"));
        QCOMPARE(labelText(*memory, "lblRes_2"), QStringLiteral("200 MB"));
        QCOMPARE(labelText(*memory, "lblRes_4"), QStringLiteral("48 MB"));
        QCOMPARE(memory->toolTip(), QStringLiteral("Swap in use: 25 MB of 100 MB"));
        m_available = 100 * kMiB;
        memory->Timer1_Timer();
        QCOMPARE(labelText(*memory, "lblRes_1"), QStringLiteral("412 MB"));
        QCOMPARE(labelText(*memory, "lblRes_2"), QStringLiteral("100 MB"));

        // Opened again, it starts from "Res" once more.
        memory->close();
        tools.showMem();
        QCOMPARE(labelText(*memory, "lblRes_2"), QStringLiteral("Res"));
    }

    void aboutDisablesTheMainWindowAndScrollsTheCredits() {
        DialogAnswers answers;
        QWidget main;
        QPixmap picture(16, 16);
        picture.fill(Qt::red);
        main.setWindowIcon(QIcon(picture));
        main.show();
        ToolWindows tools(&main, settings());
        tools.showAbout();
        frmAbout* about = tools.about();
        QVERIFY(shownAsToolWindow(about));
        QCOMPARE(about->windowTitle(), QStringLiteral("About -> Kesto Virus Scanner"));
        QVERIFY(!main.isEnabled());
        QCOMPARE(about->windowIcon().cacheKey(), main.windowIcon().cacheKey());
        QCOMPARE(about->timer()->interval(), 50);
        const QList<QLabel*> engineLines =
            about->findChild<QGroupBox*>(QStringLiteral("FrameEngine"))->findChildren<QLabel*>();
#ifdef _WIN32
        QCOMPARE(engineLines.back()->text(), QStringLiteral("Guard: only on Linux"));
#else
        QCOMPARE(engineLines.back()->text(), QStringLiteral("Guard: not running"));
#endif

        auto* credits = about->findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
        QCOMPARE(credits->toPlainText().count(QLatin1Char('\n')), 21);
        QVERIFY(
            credits->toPlainText().endsWith(QStringLiteral("(team@kesto-scanner.example.org)")));
        QCOMPARE(credits->y(), 133);
        for (int tick = 0; tick < 390; ++tick) {
            about->Timer1_Timer();
        }
        QCOMPARE(about->creditsTop(), -5800);
        QCOMPARE(credits->y(), -387);
        about->Timer1_Timer();
        QCOMPARE(about->creditsTop(), 2090);
        QCOMPARE(credits->y(), 139);

        click(*about, "cmd_tutup");
        QVERIFY(!about->isVisible());
        QVERIFY(main.isEnabled());
        tools.showAbout();
        QCOMPARE(about->creditsTop(), 2000);
        QVERIFY(answers.messages.empty());
    }

    void aboutOpensTheSiteAndTheReadMe() {
        DialogAnswers answers;
        ShellCalls shell;
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showAbout();
        click(*tools.about(), "cmdVisitMe");
        QCOMPARE(shell.requests.size(), std::size_t{1});
        QVERIFY(shell.requests[0].kind == Shell::Request::Kind::OpenAddress);
        QCOMPARE(shell.requests[0].target, std::string("https://kesto-scanner.example.org"));

        click(*tools.about(), "Button1");
        QCOMPARE(shell.requests.size(), std::size_t{1});
        QCOMPARE(answers.messages.size(), std::size_t{1});
        QCOMPARE(answers.messages[0].title, QStringLiteral("Error"));
        QCOMPARE(answers.messages[0].style, 48);
        QCOMPARE(answers.messages[0].text,
                 QString::fromStdString(AboutTexts::ReadMeMissingText(m_dir.file("program"))));
        QVERIFY(answers.messages[0].text.startsWith(
            QStringLiteral("Sorry, file %1%2ReadMe.txt Nothing found.\r\n")
                .arg(QString::fromStdString(m_dir.file("program")))
                .arg(QChar(platform::kPathSeparator))));

        writeFile(m_dir.file("program/ReadMe.txt"), "read me");
        click(*tools.about(), "Button1");
        QCOMPARE(answers.messages.size(), std::size_t{1});
        QCOMPARE(shell.requests.size(), std::size_t{2});
        QVERIFY(shell.requests[1].kind == Shell::Request::Kind::OpenFile);
        const std::string readMe = AboutTexts::ReadMePath(m_dir.file("program"));
        QCOMPARE(shell.requests[1].target, readMe);
        QVERIFY(shell.requests[1].arguments ==
                std::vector<std::string>{SystemPrograms::FileUrl(readMe)});

        // An opener that cannot be started is named in a message, for the site and the read-me.
        shell.succeed = false;
        click(*tools.about(), "cmdVisitMe");
        click(*tools.about(), "Button1");
        QCOMPARE(shell.requests.size(), std::size_t{4});
        QCOMPARE(answers.messages.size(), std::size_t{3});
        QCOMPARE(answers.messages[1].title, QStringLiteral("Error"));
        QCOMPARE(answers.messages[1].style, 48);
#ifdef _WIN32
        // The system opens files and addresses itself; there is no opener program to name.
        const QString why = QStringLiteral(".");
#else
        const QString why = QStringLiteral(": xdg-open could not be started.");
#endif
        QCOMPARE(answers.messages[1].text,
                 QStringLiteral("Sorry, https://kesto-scanner.example.org could not be opened") +
                     why);
        QCOMPARE(answers.messages[2].style, 48);
        QCOMPARE(answers.messages[2].text,
                 QString::fromStdString("Sorry, " + readMe + " could not be opened") + why);
    }

    void windowsToolsStartTheFirstInstalledStandIn() {
        DialogAnswers answers;
        ShellCalls shell;
        m_installed = {"dolphin", "pcmanfm", "xterm", "konsole", "top", "lxqt-config"};
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showWinTools();
        frmWinTools* window = tools.winTools();
        QVERIFY(shownAsToolWindow(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("Kesto -> Windows Tools"));
        QCOMPARE(button(*window, "Button1")->Caption(), QStringLiteral("Windows Explorer"));
        QCOMPARE(button(*window, "Button4")->geometry(), QRect(16, 96, 289, 25));
        QCOMPARE(button(*window, "Button5")->geometry(), QRect(168, 56, 137, 25));
        QCOMPARE(button(*window, "Button3")->toolTip(), QStringLiteral("Starts konsole"));
        QCOMPARE(button(*window, "Button5")->toolTip(), QStringLiteral("Starts top in konsole"));

        for (const char* name : {"Button1", "Button3", "Button5", "Button4"}) {
            click(*window, name);
        }
        QCOMPARE(shell.requests.size(), std::size_t{4});
        const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
            {"/fake/bin/dolphin", {}},
            {"/fake/bin/konsole", {}},
            {"/fake/bin/konsole", {"-e", "top"}},
            {"/fake/bin/lxqt-config", {}},
        };
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QVERIFY(shell.requests[i].kind == Shell::Request::Kind::Start);
            QCOMPARE(shell.requests[i].target, expected[i].first);
            QVERIFY(shell.requests[i].arguments == expected[i].second);
        }
        QVERIFY(answers.messages.empty());

        // The registry folder must exist before the file manager is asked to show it.
        click(*window, "Button2");
        QCOMPARE(shell.requests.size(), std::size_t{4});
        QCOMPARE(answers.messages.size(), std::size_t{1});
        QCOMPARE(answers.messages[0].style, 48);
        // The message names the missing folder, not the file manager that was never started.
        QCOMPARE(answers.messages[0].text,
                 QStringLiteral("Sorry, the folder %1 does not exist.")
                     .arg(QString::fromStdString(m_dir.file("registry"))));
        std::filesystem::create_directories(m_dir.file("registry"));
        click(*window, "Button2");
        QCOMPARE(shell.requests.size(), std::size_t{5});
        QVERIFY(shell.requests[4].arguments == std::vector<std::string>{m_dir.file("registry")});

        // A program that does not start is named in a message.
        shell.succeed = false;
        click(*window, "Button3");
        QCOMPARE(answers.messages.size(), std::size_t{2});
        QCOMPARE(answers.messages[1].title, QStringLiteral("Error"));
        QCOMPARE(answers.messages[1].style, 48);
        QCOMPARE(answers.messages[1].text, QStringLiteral("Sorry, konsole could not be started."));
    }

    void windowsToolsButtonsWithoutAProgramAreDisabled() {
        ShellCalls shell;
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showWinTools();
        for (const char* name : {"Button1", "Button2", "Button3", "Button4", "Button5"}) {
            QVERIFY(!button(*tools.winTools(), name)->isEnabled());
            QCOMPARE(button(*tools.winTools(), name)->toolTip(),
                     QStringLiteral("No program for this is installed"));
        }
        tools.winTools()->close();
        m_installed = {"xdg-open"};
        tools.showWinTools(); // looked up again at each opening
        QVERIFY(button(*tools.winTools(), "Button1")->isEnabled());
        QCOMPARE(button(*tools.winTools(), "Button1")->toolTip(),
                 QStringLiteral("Starts xdg-open"));
        click(*tools.winTools(), "Button1");
        QCOMPARE(shell.requests.size(), std::size_t{1});
        QVERIFY(shell.requests[0].arguments == std::vector<std::string>{"/home/alice"});
        QVERIFY(!button(*tools.winTools(), "Button3")->isEnabled());
    }

    void menuOpensTheToolWindowsAndAScanTurnsItOff() {
        DialogAnswers answers;
        TempDir home;
        TempDir tree;
        writeFile(home.file("Virus Database.dll"), testsupport::databaseText({"Selesai:Selesai"}));
        for (int i = 0; i < 3000; ++i) {
            writeFile(tree.file("d" + std::to_string(i % 30) + "/f" + std::to_string(i)), "x");
        }
        Antivirus::Settings mainSettings;
        mainSettings.databasePath = home.file("Virus Database.dll");
        mainSettings.quarantineFolder = home.file("Karantina");
        mainSettings.endProgram = [] {};
        mainSettings.timersTick = false;
        mainSettings.tools = settings();
        Antivirus window(mainSettings);
        window.show();

        const struct {
            const char* name;
            const char* shortcut;
            const char* title;
        } items[] = {
            {"mnuTool", "Ctrl+T", "Kesto -> Virus Scanner Tools"},
            {"mnuWinTools", "Ctrl+W", "Kesto -> Windows Tools"},
            {"mnuAbout", "Ctrl+A", "About -> Kesto Virus Scanner"},
        };
        for (const auto& item : items) {
            auto* action = window.findChild<QAction*>(QString::fromLatin1(item.name));
            QVERIFY(action->isEnabled());
            QCOMPARE(action->shortcut(), QKeySequence(QString::fromLatin1(item.shortcut)));
            action->trigger();
            QCOMPARE(windowsTitled(QString::fromLatin1(item.title)), 1);
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->windowTitle() == QString::fromLatin1(item.title)) {
                    widget->close();
                }
            }
            QVERIFY(window.isEnabled());
        }
        window.toolWindows().showAbout();
        QVERIFY(!window.isEnabled());
        window.toolWindows().about()->close();
        QVERIFY(window.isEnabled());

        answers.folder = QString::fromStdString(tree.path());
        window.cmdScan_Click();
        for (const auto& item : items) {
            QVERIFY(!window.findChild<QAction*>(QString::fromLatin1(item.name))->isEnabled());
        }
        window.cmdScan_Click(); // Stop
        QTRY_VERIFY_WITH_TIMEOUT(!window.scanning() && button(window, "cmdHapus")->isEnabled(),
                                 20000);
        for (const auto& item : items) {
            QVERIFY(window.findChild<QAction*>(QString::fromLatin1(item.name))->isEnabled());
        }
    }
};

QTEST_MAIN(ToolWindowsTest)
#include "ToolWindowsTest.moc"
