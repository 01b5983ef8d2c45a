#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The Windows-tools window: on Windows each button starts the system's own program; elsewhere
/// the first installed program of its list of stand-ins for it. The captions stay those of the
/// Windows programs.
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

/// Where Windows keeps its own programs.
struct WindowsFolders {
    std::string windows; ///< the Windows folder: explorer.exe, regedit.exe
    std::string system;  ///< the system folder: cmd.exe, taskmgr.exe, msconfig.exe
};

/// What resolution looks at.
struct Environment {
    /// Finds an installed program by name; none when it is not installed.
    std::function<std::optional<std::string>(const std::string& name)> findProgram;
    std::string homeFolder;
    std::string registryFolder;
    /// Set on Windows: each tool is the system's own program in its folder, started only when
    /// `isFile` finds it there; no stand-in is searched for, so a program of the same name
    /// elsewhere on the PATH is never started in its place.
    std::optional<WindowsFolders> windowsFolders;
    std::function<bool(const std::string& path)> isFile;
};
/// The PATH search of this process, the user's home and the registry store folder; on Windows
/// the Windows and system folders too.
Environment SystemEnvironment();

/// The program started for `tool`: with `windowsFolders` the system's own program, else the
/// stand-in; none when it is not installed.
std::optional<Launch> Resolve(Tool tool, const Environment& environment);

/// Tooltip of a button: "Starts <name>", or why the button is disabled.
std::string ToolTip(const std::optional<Launch>& launch);
inline constexpr std::string_view kNothingInstalled = "No program for this is installed";

/// The message (style 48, title "Error") shown when `program` could not be started.
std::string CannotStartText(std::string_view program);
/// The message (style 48, title "Error") shown instead of starting a program that would show
/// `folder`, which does not exist.
std::string MissingFolderText(std::string_view folder);
inline constexpr std::string_view kCannotStartTitle = "Error";
inline constexpr int kCannotStartStyle = 48;

/// The program that opens files and web addresses with their associated programs.
inline constexpr std::string_view kOpener = "xdg-open";
/// The "file://" address of the absolute path `path`: every byte but ASCII letters, digits,
/// "-", ".", "_", "~" and "/" is percent-encoded, so a name with any bytes (a line break, bytes
/// that are not UTF-8) names the same file.
std::string FileUrl(std::string_view path);
/// The messages (style 48, title "Error") when `target`, a file or an address, could not be
/// opened because the opener is not installed or could not be started (where the system opens
/// files itself, only that it could not be opened).
std::string OpenerMissingText(std::string_view target);
std::string CannotOpenText(std::string_view target);

/// The registry store's folder.
inline constexpr std::string_view kRegistryFolder = "/var/lib/kesto/registry";

} // namespace SystemPrograms
