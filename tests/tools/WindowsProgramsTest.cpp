#include "platform/PathText.h"
#include "platform/ProgramSearch.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "tools/SystemPrograms.h"

#include <filesystem>
#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/SystemFacts.h"
#endif

using SystemPrograms::Tool;
using testsupport::TempDir;
using testsupport::writeFile;

// The Windows rule runs on every system over folders of the test's own.
TEST(WindowsPrograms, EachToolIsTheSystemsOwnProgramInItsOwnFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("Windows/System32"));
    bool standInAsked = false;
    SystemPrograms::Environment environment;
    environment.findProgram = [&standInAsked](const std::string& name) {
        standInAsked = true;
        return std::optional<std::string>("/usr/bin/" + name);
    };
    environment.windowsFolders =
        SystemPrograms::WindowsFolders{dir.file("Windows"), dir.file("Windows/System32")};
    environment.isFile = platform::isRegularFile;

    for (const auto& info : SystemPrograms::kTools) {
        EXPECT_FALSE(SystemPrograms::Resolve(info.tool, environment)) << info.caption;
    }
    // A program in the other folder is not the system's own, and a folder is no program.
    writeFile(dir.file("Windows/cmd.exe"), "MZ");
    writeFile(dir.file("Windows/System32/explorer.exe"), "MZ");
    std::filesystem::create_directories(dir.file("Windows/System32/msconfig.exe"));
    EXPECT_FALSE(SystemPrograms::Resolve(Tool::CommandPrompt, environment));
    EXPECT_FALSE(SystemPrograms::Resolve(Tool::Explorer, environment));
    EXPECT_FALSE(SystemPrograms::Resolve(Tool::SystemConfiguration, environment));

    const std::pair<Tool, std::string> expected[] = {
        {Tool::Explorer, "Windows/explorer.exe"},
        {Tool::RegistryEditor, "Windows/regedit.exe"},
        {Tool::CommandPrompt, "Windows/System32/cmd.exe"},
        {Tool::TaskManager, "Windows/System32/taskmgr.exe"},
    };
    for (const auto& [tool, file] : expected) {
        writeFile(dir.file(file), "MZ");
        const auto launch = SystemPrograms::Resolve(tool, environment);
        ASSERT_TRUE(launch) << file;
        EXPECT_EQ(launch->program, dir.file(file));
        EXPECT_TRUE(launch->arguments.empty());
        EXPECT_TRUE(launch->requiredFolder.empty());
    }
    EXPECT_EQ(SystemPrograms::ToolTip(SystemPrograms::Resolve(Tool::RegistryEditor, environment)),
              "Starts regedit.exe");
    // The PATH is never searched: a stand-in of the same name elsewhere is never started.
    EXPECT_FALSE(standInAsked);

    // A folder given with its separator gets no second one.
    environment.windowsFolders->windows = dir.file("Windows/");
    EXPECT_EQ(SystemPrograms::Resolve(Tool::Explorer, environment)->program,
              dir.file("Windows/explorer.exe"));
    // An unknown folder starts nothing, rather than a program relative to the current folder.
    environment.windowsFolders->windows.clear();
    EXPECT_FALSE(SystemPrograms::Resolve(Tool::Explorer, environment));
    environment.isFile = nullptr;
    EXPECT_FALSE(SystemPrograms::Resolve(Tool::CommandPrompt, environment));
}

#ifdef _WIN32
TEST(WindowsPrograms, TheSystemsEnvironmentFindsThemInTheWindowsAndSystemFolders) {
    const SystemPrograms::Environment environment = SystemPrograms::SystemEnvironment();
    ASSERT_TRUE(environment.windowsFolders);
    const std::string windows = platform::windowsFolder();
    const std::string system = platform::systemFolder();
    ASSERT_FALSE(windows.empty());
    ASSERT_FALSE(system.empty());
    const std::pair<Tool, std::string> expected[] = {
        {Tool::Explorer, windows + "\\explorer.exe"},
        {Tool::RegistryEditor, windows + "\\regedit.exe"},
        {Tool::CommandPrompt, system + "\\cmd.exe"},
        {Tool::TaskManager, system + "\\taskmgr.exe"},
        {Tool::SystemConfiguration, system + "\\msconfig.exe"},
    };
    for (const auto& [tool, path] : expected) {
        const auto launch = SystemPrograms::Resolve(tool, environment);
        // Wine has no System Configuration program; Windows has all five.
        if (tool == Tool::SystemConfiguration && !platform::isRegularFile(path)) {
            EXPECT_FALSE(launch);
            EXPECT_EQ(SystemPrograms::ToolTip(launch), SystemPrograms::kNothingInstalled);
            continue;
        }
        ASSERT_TRUE(launch) << path;
        EXPECT_TRUE(platform::samePath(launch->program, path)) << launch->program;
        EXPECT_TRUE(platform::isRegularFile(launch->program));
    }
}

TEST(WindowsPrograms, TheProgramSearchTakesSemicolonListsAndAnyRegularFile) {
    TempDir dir;
    writeFile(dir.file("second/tool.exe"), "MZ");
    std::filesystem::create_directories(dir.file("first/tool.exe"));
    const std::string path = ";" + dir.file("first") + ";" + dir.file("second") + "\\;";
    EXPECT_EQ(platform::findProgram("tool.exe", path), dir.file("second/tool.exe"));
    EXPECT_FALSE(platform::findProgram("tool.exe", dir.file("first")));
    EXPECT_FALSE(platform::findProgram("second\\tool.exe", dir.path()));
    EXPECT_FALSE(platform::findProgram("second/tool.exe", dir.path()));
    EXPECT_FALSE(platform::findProgram("C:tool.exe", dir.file("second")));
    EXPECT_TRUE(platform::isFolder(dir.file("first")));
    EXPECT_FALSE(platform::isFolder(dir.file("second/tool.exe")));
    EXPECT_FALSE(platform::isRegularFile(dir.file("first/tool.exe")));
    EXPECT_FALSE(platform::isRegularFile(dir.file("missing.exe")));
    // A device name is never taken for a file.
    EXPECT_FALSE(platform::isRegularFile(dir.file("NUL")));
    EXPECT_FALSE(platform::searchPath().empty());
}
#endif
