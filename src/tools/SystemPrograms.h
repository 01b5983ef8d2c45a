#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The Windows-tools window: each button starts the first installed program of its list of
/// stand-ins for a Windows program. The captions stay those of the Windows programs.
namespace SystemPrograms {

enum class Tool { Explorer, RegistryEditor, CommandPrompt, TaskManager, SystemConfiguration };

struct ToolInfo {
    Tool tool;
    std::string_view caption;
    /// What the classic program ran, kept for reference: Linux runs a stand-in.
    std::string_view classicCommandLine;
};
inline constexpr std::array<ToolInfo, 5> kTools = {{
    {Tool::Explorer, "Windows Explorer", "Explorer.exe /e,/select, "},
    {Tool::RegistryEditor, "Registry Editor", "regedit.exe"},
    {Tool::CommandPrompt, "Command Prompt", "cmd.exe"},
    {Tool::TaskManager, "Task Manager", "taskmgr.exe"},
    {Tool::SystemConfiguration, "System Configuration Utility", "msconfig.exe"},
}};
const ToolInfo& Info(Tool tool);

/// A program to start: its full path and its arguments (never a shell command line).
struct Launch {
    std::string program;
    std::vector<std::string> arguments;
    /// Name shown to the user ("gnome-terminal", "htop in xterm").
    std::string name;
    /// A folder the program is asked to open, which must exist when it starts (empty: none).
    std::string requiredFolder;
};

/// What resolution looks at.
struct Environment {
    /// Finds an installed program by name; none when it is not installed.
    std::function<std::optional<std::string>(const std::string& name)> findProgram;
    std::string homeFolder;
    std::string registryFolder;
};
/// The PATH search of this process, the user's home and the registry store folder.
Environment SystemEnvironment();

/// The stand-in started for `tool`; none when no candidate is installed.
std::optional<Launch> Resolve(Tool tool, const Environment& environment);

/// Tooltip of a button: "Starts <name>", or why the button is disabled.
std::string ToolTip(const std::optional<Launch>& launch);
inline constexpr std::string_view kNothingInstalled = "No program for this is installed";

/// The message (style 48, title "Error") shown when `program` could not be started.
std::string CannotStartText(std::string_view program);
std::string MissingFolderText(std::string_view program, std::string_view folder);
inline constexpr std::string_view kCannotStartTitle = "Error";
inline constexpr int kCannotStartStyle = 48;

/// The registry store's folder.
inline constexpr std::string_view kRegistryFolder = "/var/lib/kesto/registry";

} // namespace SystemPrograms
