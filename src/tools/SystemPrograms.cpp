#include "tools/SystemPrograms.h"

#include "platform/FileOps.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgramSearch.h"
#include "platform/ShellOpen.h"
#include "platform/SystemFacts.h"
#include "scanner/DisplayName.h"

namespace SystemPrograms {

namespace {

constexpr std::string_view kFileManagers[] = {"nautilus", "dolphin",    "thunar", "nemo",
                                              "caja",     "pcmanfm-qt", "pcmanfm"};
constexpr std::string_view kTerminals[] = {"x-terminal-emulator", "gnome-terminal", "konsole",
                                           "xfce4-terminal",      "lxterminal",     "xterm"};
constexpr std::string_view kSystemMonitors[] = {"gnome-system-monitor", "plasma-systemmonitor",
                                                "xfce4-taskmanager", "lxtask"};
constexpr std::string_view kSettings[] = {"gnome-control-center", "systemsettings",
                                          "xfce4-settings-manager", "lxqt-config"};
constexpr std::string_view kMonitorCommands[] = {"htop", "top"};

/// Each tool's own program on Windows, and whether it lies in the system folder (else in the
/// Windows folder).
struct WindowsProgram {
    Tool tool;
    bool inSystemFolder;
    std::string_view file;
};
constexpr WindowsProgram kWindowsPrograms[] = {
    {Tool::Explorer, false, "explorer.exe"},
    {Tool::RegistryEditor, false, "regedit.exe"},
    {Tool::CommandPrompt, true, "cmd.exe"},
    {Tool::TaskManager, true, "taskmgr.exe"},
    {Tool::SystemConfiguration, true, "msconfig.exe"},
};

/// The system's own program for `tool`, when its file is there.
std::optional<Launch> windowsProgram(Tool tool, const WindowsFolders& folders,
                                     const Environment& environment) {
    for (const WindowsProgram& program : kWindowsPrograms) {
        if (program.tool != tool) {
            continue;
        }
        std::string path = program.inSystemFolder ? folders.system : folders.windows;
        // An unknown folder would leave a path relative to the current folder.
        if (path.empty() || !environment.isFile) {
            return std::nullopt;
        }
        if (!platform::isPathSeparator(path.back())) {
            path += platform::kPathSeparator;
        }
        path += program.file;
        if (!environment.isFile(path)) {
            return std::nullopt;
        }
        return Launch{std::move(path), {}, std::string(program.file), {}};
    }
    return std::nullopt;
}

template <std::size_t N>
std::optional<Launch> firstInstalled(const std::string_view (&names)[N],
                                     const Environment& environment) {
    for (const std::string_view name : names) {
        if (auto path = environment.findProgram(std::string(name))) {
            return Launch{std::move(*path), {}, std::string(name), {}};
        }
    }
    return std::nullopt;
}

/// The file manager showing `folder`; `xdg-open` when no file manager is installed.
std::optional<Launch> fileManagerOn(const std::string& folder, const Environment& environment) {
    if (auto launch = firstInstalled(kFileManagers, environment)) {
        launch->arguments = {folder};
        return launch;
    }
    if (auto opener = environment.findProgram("xdg-open")) {
        return Launch{std::move(*opener), {folder}, "xdg-open", {}};
    }
    return std::nullopt;
}

/// A terminal running a text-mode system monitor.
std::optional<Launch> monitorInTerminal(const Environment& environment) {
    auto terminal = firstInstalled(kTerminals, environment);
    if (!terminal) {
        return std::nullopt;
    }
    for (const std::string_view command : kMonitorCommands) {
        if (environment.findProgram(std::string(command))) {
            // gnome-terminal takes the command after "--"; the others after "-e".
            const std::string option = terminal->name == "gnome-terminal" ? "--" : "-e";
            terminal->arguments = {option, std::string(command)};
            terminal->name = std::string(command) + " in " + terminal->name;
            return terminal;
        }
    }
    return std::nullopt;
}

} // namespace

const ToolInfo& Info(Tool tool) {
    for (const ToolInfo& info : kTools) {
        if (info.tool == tool) {
            return info;
        }
    }
    return kTools.front();
}

Environment SystemEnvironment() {
    Environment environment;
    environment.findProgram = [path = platform::searchPath()](const std::string& name) {
        return platform::findProgram(name, path);
    };
    environment.homeFolder = platform::homeFolder();
    environment.registryFolder = std::string(kRegistryFolder);
#ifdef _WIN32
    environment.windowsFolders =
        WindowsFolders{platform::windowsFolder(), platform::systemFolder()};
    environment.isFile = platform::isRegularFile;
#endif
    return environment;
}

std::optional<Launch> Resolve(Tool tool, const Environment& environment) {
    if (environment.windowsFolders) {
        return windowsProgram(tool, *environment.windowsFolders, environment);
    }
    if (!environment.findProgram) {
        return std::nullopt;
    }
    switch (tool) {
    case Tool::Explorer:
        if (auto launch = firstInstalled(kFileManagers, environment)) {
            return launch; // the file manager's own starting place
        }
        return fileManagerOn(environment.homeFolder, environment);
    case Tool::RegistryEditor:
        if (auto launch = fileManagerOn(environment.registryFolder, environment)) {
            launch->requiredFolder = environment.registryFolder;
            return launch;
        }
        return std::nullopt;
    case Tool::CommandPrompt:
        return firstInstalled(kTerminals, environment);
    case Tool::TaskManager:
        if (auto launch = firstInstalled(kSystemMonitors, environment)) {
            return launch;
        }
        return monitorInTerminal(environment);
    case Tool::SystemConfiguration:
        return firstInstalled(kSettings, environment);
    }
    return std::nullopt;
}

std::string ToolTip(const std::optional<Launch>& launch) {
    return launch ? "Starts " + launch->name : std::string(kNothingInstalled);
}

std::string CannotStartText(std::string_view program) {
    return "Sorry, " + std::string(program) + " could not be started.";
}

std::string MissingFolderText(std::string_view folder) {
    return "Sorry, the folder " + DisplayName(folder) + " does not exist.";
}

std::string FileUrl(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~' || byte == '/';
        if (plain) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0x0F];
        }
    }
    return url;
}

std::string OpenerMissingText(std::string_view target) {
    return "Sorry, " + DisplayName(target) + " could not be opened: " + std::string(kOpener) +
           ", which opens files and web addresses, is not installed.";
}

std::string CannotOpenText(std::string_view target) {
    if constexpr (platform::kShellOpens) {
        // The system opens it itself: there is no opener program to name.
        return "Sorry, " + DisplayName(target) + " could not be opened.";
    }
    return "Sorry, " + DisplayName(target) + " could not be opened: " + std::string(kOpener) +
           " could not be started.";
}

} // namespace SystemPrograms
