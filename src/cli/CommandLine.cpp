#include "cli/CommandLine.h"

#include "tools/AboutTexts.h"

#include <map>

namespace {

using Flag = bool CommandLine::*;
using Value = std::optional<std::string> CommandLine::*;

const std::map<std::string, Flag>& flags() {
    static const std::map<std::string, Flag> table = {
        {"-h", &CommandLine::help},       {"--help", &CommandLine::help},
        {"-V", &CommandLine::version},    {"--version", &CommandLine::version},
        {"--clean", &CommandLine::clean}, {"--quarantine", &CommandLine::quarantine},
        {"--json", &CommandLine::json},   {"--quiet", &CommandLine::quiet},
        {"-q", &CommandLine::quiet},
    };
    return table;
}

const std::map<std::string, Value>& valueOptions() {
    static const std::map<std::string, Value> table = {
        {"--database", &CommandLine::database},
        {"--quarantine-dir", &CommandLine::quarantineDir},
    };
    return table;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            if (line.command.empty()) {
                // An empty command would leave the next operand to be taken for the command.
                if (argument.empty()) {
                    throw UsageError{"empty command"};
                }
                line.command = argument;
            } else {
                line.operands.push_back(argument);
            }
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (const auto flag = flags().find(argument); flag != flags().end()) {
            line.*(flag->second) = true;
            continue;
        }
        // Value options take "--name VALUE" or "--name=VALUE".
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const auto option = valueOptions().find(name);
        if (option == valueOptions().end()) {
            throw UsageError{"unknown option '" + argument + "'"};
        }
        if (equals != std::string::npos) {
            line.*(option->second) = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            line.*(option->second) = arguments[++i];
        } else {
            throw UsageError{"option '" + name + "' needs a value"};
        }
    }
    return line;
}

std::string usageText() {
    return "Usage: kesto [OPTIONS] COMMAND [ARGUMENTS]\n"
           "\n"
           "Kesto Virus Scanner checks files for known malicious content by whole-file CRC-32\n"
           "signatures (the text database 'Virus Database.dll' beside the program) and by\n"
           "built-in byte patterns.\n"
           "\n"
           "Commands:\n"
           "  scan [--clean | --quarantine] [--json] [--quiet] FOLDER\n"
           "                        check every file below FOLDER and list each detection;\n"
           "                        Ctrl+C stops the scan\n"
           "  inspect FILE...       show each file's checksum text, type, compiler and packer\n"
           "  signatures            list every threat name the scanner knows, numbered\n"
           "  info                  show the user and system folders, memory figures and the\n"
           "                        size, used and free space of every mounted drive\n"
           "  usb-lock status|lock|unlock\n"
           "                        show, set or clear the lock on USB storage disks (the rule\n"
           "                        file /etc/modprobe.d/kesto-usb-storage.conf; changing it\n"
           "                        needs root rights)\n"
           "  encrypt FILE          encrypt FILE in place with your key (~/.config/kesto); an\n"
           "                        encrypted file is left as it is\n"
           "  decrypt FILE          decrypt FILE in place; a plain file is left as it is\n"
           "\n"
           "Options:\n"
           "  --clean               (scan) delete every listed file afterwards\n"
           "  --quarantine          (scan) move every listed file into the quarantine folder\n"
           "                        as NAME_vir afterwards\n"
           "  --quarantine-dir DIR  (scan) the quarantine folder (default ~/Karantina); files\n"
           "                        below it are never examined\n"
           "  --json                (scan) print one JSON document instead of text lines\n"
           "  -q, --quiet           (scan) do not list unreadable folders and files\n"
           "  --database PATH       use this signature database instead of the one beside\n"
           "                        the program (at most 64 MiB)\n"
           "  -h, --help            show this help and exit\n"
           "  -V, --version         show the version and exit\n"
           "  --                    end of options; what follows are operands\n"
           "\n"
           "Exit status:\n"
           "  0    success: nothing listed, everything checked\n"
           "  1    scan listed at least one file (this wins over 2)\n"
           "  2    bad usage; a missing, unreadable or broken database; a folder or file that\n"
           "       could not be read; files whose checksum could not be looked up; output\n"
           "       that could not be written\n"
           "  130  scan stopped with Ctrl+C (or SIGTERM) before anything was listed\n";
}

std::string versionText() {
    std::string text = std::string("kesto ") + KESTO_VERSION + " (Zedodu)\n";
    for (const auto& [caption, value] : AboutTexts::EngineFacts()) {
        text += caption + ": " + value + "\n";
    }
    return text;
}
