#include "tools/SystemPrograms.h"

#include "platform/ProgramSearch.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using SystemPrograms::Tool;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

/// A PATH of two fake folders, "first" and "second", holding the programs the test installs.
class FakePath {
public:
    FakePath() {
        std::filesystem::create_directories(m_dir.file("first"));
        std::filesystem::create_directories(m_dir.file("second"));
    }
    std::string install(const std::string& folder, const std::string& name,
                        mode_t mode = 0755) const {
        const std::string path = m_dir.file(folder + "/" + name);
        writeFile(path, "#!/bin/sh\n");
        ::chmod(path.c_str(), mode);
        return path;
    }
    std::string path() const { return m_dir.file("first") + ":" + m_dir.file("second"); }
    SystemPrograms::Environment environment() const {
        SystemPrograms::Environment environment;
        environment.findProgram = [path = path()](const std::string& name) {
            return platform::findProgram(name, path);
        };
        environment.homeFolder = "/home/alice";
        environment.registryFolder = "/var/lib/kesto/registry";
        return environment;
    }

private:
    TempDir m_dir;
};

} // namespace

TEST(SystemPrograms, ClassicCaptionsAndCommandLinesAreKept) {
    EXPECT_EQ(SystemPrograms::Info(Tool::Explorer).caption, "Windows Explorer");
    EXPECT_EQ(SystemPrograms::Info(Tool::Explorer).classicCommandLine, "Explorer.exe /e,/select, ");
    EXPECT_EQ(SystemPrograms::Info(Tool::RegistryEditor).classicCommandLine, "regedit.exe");
    EXPECT_EQ(SystemPrograms::Info(Tool::CommandPrompt).caption, "Command Prompt");
    EXPECT_EQ(SystemPrograms::Info(Tool::TaskManager).classicCommandLine, "taskmgr.exe");
    EXPECT_EQ(SystemPrograms::Info(Tool::SystemConfiguration).caption,
              "System Configuration Utility");
}

TEST(SystemPrograms, NothingInstalledResolvesToNothing) {
    FakePath path;
    for (const auto& info : SystemPrograms::kTools) {
        EXPECT_FALSE(SystemPrograms::Resolve(info.tool, path.environment())) << info.caption;
    }
    EXPECT_EQ(SystemPrograms::ToolTip(std::nullopt), "No program for this is installed");
}

TEST(SystemPrograms, FirstInstalledStandInWinsByListThenPathOrder) {
    FakePath path;
    path.install("second", "xterm");
    const std::string konsole = path.install("second", "konsole");
    auto launch = SystemPrograms::Resolve(Tool::CommandPrompt, path.environment());
    ASSERT_TRUE(launch);
    EXPECT_EQ(launch->program, konsole); // konsole comes before xterm in the list
    EXPECT_TRUE(launch->arguments.empty());
    EXPECT_EQ(SystemPrograms::ToolTip(launch), "Starts konsole");

    const std::string earlier = path.install("first", "konsole");
    EXPECT_EQ(SystemPrograms::Resolve(Tool::CommandPrompt, path.environment())->program, earlier);

    path.install("first", "x-terminal-emulator", 0644); // not executable: skipped
    EXPECT_EQ(SystemPrograms::Resolve(Tool::CommandPrompt, path.environment())->program, earlier);
}

TEST(SystemPrograms, FileManagerFolderArgumentsAndTheOpenerFallback) {
    FakePath path;
    const std::string opener = path.install("second", "xdg-open");
    auto explorer = SystemPrograms::Resolve(Tool::Explorer, path.environment());
    ASSERT_TRUE(explorer);
    EXPECT_EQ(explorer->program, opener);
    EXPECT_EQ(explorer->arguments, std::vector<std::string>{"/home/alice"});

    const std::string thunar = path.install("first", "thunar");
    explorer = SystemPrograms::Resolve(Tool::Explorer, path.environment());
    EXPECT_EQ(explorer->program, thunar);
    EXPECT_TRUE(explorer->arguments.empty());

    const auto registry = SystemPrograms::Resolve(Tool::RegistryEditor, path.environment());
    ASSERT_TRUE(registry);
    EXPECT_EQ(registry->program, thunar);
    EXPECT_EQ(registry->arguments, std::vector<std::string>{"/var/lib/kesto/registry"});
    EXPECT_EQ(registry->requiredFolder, "/var/lib/kesto/registry");
}

TEST(SystemPrograms, TaskManagerFallsBackToAMonitorInATerminal) {
    FakePath path;
    path.install("first", "gnome-terminal");
    EXPECT_FALSE(SystemPrograms::Resolve(Tool::TaskManager, path.environment()));
    path.install("first", "top");
    auto launch = SystemPrograms::Resolve(Tool::TaskManager, path.environment());
    ASSERT_TRUE(launch);
    EXPECT_EQ(launch->arguments, (std::vector<std::string>{"--", "top"}));
    EXPECT_EQ(launch->name, "top in gnome-terminal");
    path.install("second", "htop");
    path.install("second", "xterm");
    path.install("first", "konsole");
    launch = SystemPrograms::Resolve(Tool::TaskManager, path.environment());
    EXPECT_EQ(launch->arguments, (std::vector<std::string>{"--", "htop"}));

    const std::string monitor = path.install("second", "lxtask");
    launch = SystemPrograms::Resolve(Tool::TaskManager, path.environment());
    EXPECT_EQ(launch->program, monitor);
    EXPECT_TRUE(launch->arguments.empty());
}

TEST(SystemPrograms, SearchIgnoresEmptyEntriesAndNamesWithSeparators) {
    TempDir dir;
    const std::string tool = dir.file("tool");
    writeFile(tool, "#!/bin/sh\n");
    ::chmod(tool.c_str(), 0755);
    EXPECT_EQ(platform::findProgram("tool", "::" + dir.path() + "/:"), tool);
    EXPECT_FALSE(platform::findProgram("tool", ""));
    EXPECT_FALSE(platform::findProgram("../tool", dir.path() + "/sub"));
    EXPECT_FALSE(platform::findProgram(std::string(), dir.path()));
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_FALSE(platform::findProgram("folder", dir.path()));
}

TEST(SystemPrograms, FailureMessagesNameWhatFailed) {
    EXPECT_EQ(SystemPrograms::CannotStartText("konsole"), "Sorry, konsole could not be started.");
    // A missing folder is named, not a program that was never tried.
    EXPECT_EQ(SystemPrograms::MissingFolderText("/var/lib/kesto/registry"),
              "Sorry, the folder /var/lib/kesto/registry does not exist.");
    EXPECT_EQ(SystemPrograms::OpenerMissingText("/opt/a\nb.txt"),
              "Sorry, /opt/a\\x0ab.txt could not be opened: xdg-open, which opens files and web "
              "addresses, is not installed.");
    EXPECT_EQ(SystemPrograms::CannotOpenText("https://kesto-scanner.example.org"),
              "Sorry, https://kesto-scanner.example.org could not be opened: xdg-open could not "
              "be started.");
}

TEST(SystemPrograms, FileUrlsCarryEveryByteOfTheName) {
    EXPECT_EQ(SystemPrograms::FileUrl("/home/ann/My file-1_x.~txt"),
              "file:///home/ann/My%20file-1_x.~txt");
    EXPECT_EQ(SystemPrograms::FileUrl("/tmp/bad\nname%.com"), "file:///tmp/bad%0Aname%25.com");
    EXPECT_EQ(SystemPrograms::FileUrl("/tmp/caf\xE9#?;'$(x)\".txt"),
              "file:///tmp/caf%E9%23%3F%3B%27%24%28x%29%22.txt");
    // Every byte comes back from the address as it was.
    std::string all = "/";
    for (int byte = 1; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    const std::string url = SystemPrograms::FileUrl(all);
    ASSERT_EQ(url.rfind("file://", 0), 0U);
    std::string decoded;
    for (std::size_t i = 7; i < url.size(); ++i) {
        if (url[i] == '%') {
            decoded += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += url[i];
        }
    }
    EXPECT_EQ(decoded, all);
}
