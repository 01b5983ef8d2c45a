#include "cli/CommandLine.h"

#include "product/Product.h"
#include "scanner/PrintableName.h"
#include "tools/AboutTexts.h"

#include <map>

namespace {

/// The default quarantine folder as the help names it.
#ifdef _WIN32
constexpr const char* kDefaultQuarantineShown = "C:\\Karantina";
#else
constexpr const char* kDefaultQuarantineShown = "~/Karantina";
#endif
/// Where the USB lock is kept, how files are encrypted and which disks `smart` asks, as the help
/// names them on each system.
#ifdef _WIN32
constexpr const char* kUsbLockShown =
    "the\n"
    "                        Start value of the USBSTOR driver's key in the registry;\n"
    "                        changing it needs administrator rights";
constexpr const char* kEncryptShown = "encrypt FILE in place with the file system's own\n"
                                      "                        encryption, for your account";
constexpr const char* kSmartShown = "\\\\.\\PhysicalDrive0; needs an administrator console";
#else
constexpr const char* kUsbLockShown =
    "the rule\n"
    "                        file /etc/modprobe.d/kesto-usb-storage.conf; changing it\n"
    "                        needs root rights";
constexpr const char* kEncryptShown =
    "encrypt FILE in place with your key (~/.config/kesto); a\n"
    "                        file encrypted with it is left as it is";
constexpr const char* kSmartShown = "/dev/sda or /dev/nvme0; needs root rights";
#endif
/// What `update` needs on each system.
#ifdef _WIN32
constexpr const char* kUpdateShown = "needs the Linux build";
#else
constexpr const char* kUpdateShown = "needs root";
#endif
/// The default verdict cache folder as the help names it.
constexpr const char* kDefaultCacheShown = "~/.cache/kesto, for root /var/cache/kesto";

using Flag = bool CommandLine::*;
using Value = std::optional<std::string> CommandLine::*;
using List = std::vector<std::string> CommandLine::*;

const std::map<std::string, Flag>& flags() {
    static const std::map<std::string, Flag> table = {
        {"-h", &CommandLine::help},
        {"--help", &CommandLine::help},
        {"-V", &CommandLine::version},
        {"--version", &CommandLine::version},
        {"--clean", &CommandLine::clean},
        {"--quarantine", &CommandLine::quarantine},
        {"--json", &CommandLine::json},
        {"--quiet", &CommandLine::quiet},
        {"-q", &CommandLine::quiet},
        {"--no-summary", &CommandLine::noSummary},
        {"--no-cache", &CommandLine::noCache},
        {"--fail-closed", &CommandLine::failClosed},
        {"--rollback", &CommandLine::rollback},
    };
    return table;
}

const std::map<std::string, Value>& valueOptions() {
    static const std::map<std::string, Value> table = {
        {"--database", &CommandLine::database},
        {"--quarantine-dir", &CommandLine::quarantineDir},
        {"--log", &CommandLine::log},
        {"--to", &CommandLine::to},
        {"--cache-dir", &CommandLine::cacheDir},
        {"--max-hash-size", &CommandLine::maxHashSize},
        {"--max-yara-size", &CommandLine::maxYaraSize},
        {"--yara-timeout", &CommandLine::yaraTimeout},
        {"--on-detection", &CommandLine::onDetection},
        {"--deadline", &CommandLine::deadline},
        {"--state-dir", &CommandLine::stateDir},
        {"--install-root", &CommandLine::installRoot},
        {"--trusted-keys", &CommandLine::trustedKeys},
    };
    return table;
}

/// Options that may be given more than once, each value kept.
const std::map<std::string, List>& listOptions() {
    static const std::map<std::string, List> table = {
        {"--exclude", &CommandLine::excludes},
        {"--exclude-dir", &CommandLine::excludeDirs},
        {"--watch", &CommandLine::watch},
        {"--signatures", &CommandLine::signatures},
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
        const auto list = listOptions().find(name);
        if (option == valueOptions().end() && list == listOptions().end()) {
            throw UsageError{"unknown option '" + PrintableName(argument) + "'"};
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            throw UsageError{"option '" + PrintableName(name) + "' needs a value"};
        }
        if (option != valueOptions().end()) {
            line.*(option->second) = std::move(value);
        } else {
            (line.*(list->second)).push_back(std::move(value));
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
           "  scan [--clean | --quarantine] [--json] [--quiet] [--no-summary] [--log FILE]\n"
           "       [--exclude GLOB]... [--exclude-dir GLOB]... [--no-cache]\n"
           "       [--signatures PATH]... [--max-hash-size SIZE] [--max-yara-size SIZE]\n"
           "       [--yara-timeout SECONDS] PATH...\n"
           "                        check every file below each FOLDER, each FILE given, and\n"
           "                        standard input for '-', and list each detection with one\n"
           "                        summary; Ctrl+C stops the scan\n"
           "  cache stats [--json] | cache clear\n"
           "                        show the verdict cache (entries, size, files the last scan\n"
           "                        answered from it), or empty it\n"
           "  inspect FILE...       show each file's checksum text, type, compiler, packer\n"
           "                        and SHA-256\n"
           "  signatures [--signatures PATH]...\n"
           "                        list every threat name the scanner knows, numbered, and\n"
           "                        then each extra signature source with its names\n"
           "  info                  show the user and system folders, memory figures and the\n"
           "                        size, used and free space of every mounted drive\n"
           "  usb-lock status|lock|unlock\n"
           "                        show, set or clear the lock on USB storage disks (" +
           std::string(kUsbLockShown) +
           ")\n"
           "  encrypt FILE          " +
           std::string(kEncryptShown) +
           "\n"
           "  decrypt FILE          decrypt FILE in place; a plain file is left as it is\n"
           "  smart [--json] [DEVICE]\n"
           "                        show the identity and SMART health data of the four disk\n"
           "                        slots (SATA and NVMe disks), or of DEVICE such as\n"
           "                        " +
           std::string(kSmartShown) +
           "\n"
           "  guard [--watch PATH]... [--on-detection report|quarantine]\n"
           "        [--deadline SECONDS] [--fail-closed] [--log FILE] [--state-dir DIR]\n"
           "                        stop listed programs below each PATH before they run and\n"
           "                        check files there once written, until stopped; needs\n"
           "                        root and Linux 5.0 or later\n"
           "  guard status [--json] [--state-dir DIR]\n"
           "                        show whether the guard runs, what it checked and stopped\n"
           "  update [--install-root DIR] [--trusted-keys DIR] [SOURCE]\n"
           "                        install the signed signature set that SOURCE offers (a\n"
           "                        folder or an http:// or https:// address; default: the one\n"
           "                        in /etc/kesto/update-source) when it is newer than the\n"
           "                        installed one; " +
           std::string(kUpdateShown) +
           "\n"
           "  update --rollback [--install-root DIR]\n"
           "                        go back to the signature set installed before\n"
           "  quarantine list [--json]\n"
           "                        show the quarantined files with where they came from\n"
           "  quarantine restore NAME [--to DIR]\n"
           "                        put the quarantined file NAME back where it came from (or\n"
           "                        into DIR) with its mode; never replaces a file, never\n"
           "                        follows a link on the way\n"
           "  quarantine delete NAME\n"
           "                        remove the quarantined file NAME and its record\n"
           "\n"
           "Options:\n"
           "  --clean               (scan) delete every listed file afterwards\n"
           "  --quarantine          (scan) move every listed file into the quarantine folder\n"
           "                        as NAME_vir afterwards\n"
           "  --quarantine-dir DIR  (scan, quarantine) the quarantine folder (default\n"
           "                        " +
           std::string(kDefaultQuarantineShown) +
           "); files below it are never examined\n"
           "  --to DIR              (quarantine restore) the folder to restore into\n"
           "  --json                (scan, smart, quarantine list, cache stats, guard status)\n"
           "                        print one JSON document instead of text lines\n"
           "  -q, --quiet           (scan) do not list unreadable folders and files\n"
           "  --no-summary          (scan) print only the detection lines: no counts,\n"
           "                        completion or action line\n"
           "  --log FILE            (scan) append the report to FILE as well (a regular file;\n"
           "                        created when missing, links are not followed); (guard)\n"
           "                        its JSON-lines log (default /var/log/kesto/guard.log)\n"
           "  --exclude GLOB        (scan) skip files whose name matches GLOB (a GLOB with '/'\n"
           "                        matches the path below the scanned folder); repeatable\n"
           "  --exclude-dir GLOB    (scan) do not enter folders whose name matches GLOB;\n"
           "                        repeatable; skipped files are not counted\n"
           "  --no-cache            (scan, guard) read every file: do not answer unchanged\n"
           "                        files from the verdict cache, and do not fill it\n"
           "  --signatures PATH     (scan, guard, signatures) also use the hash lists (.hashes,\n"
           "                        .hsb, .hdb) and YARA rules (.yar, .yara) in PATH, a file\n"
           "                        or folder, after those of /var/lib/kesto/signatures and\n"
           "                        ~/.local/share/kesto/signatures; repeatable\n"
           "  --max-hash-size SIZE  (scan, guard) hash files up to SIZE bytes for the hash\n"
           "                        lists (suffix K, M or G; default 64M)\n"
           "  --max-yara-size SIZE  (scan, guard) run the YARA rules on files up to SIZE\n"
           "                        bytes (default 16M)\n"
           "  --yara-timeout SECONDS\n"
           "                        (scan, guard) the longest the YARA rules may take over one\n"
           "                        file (default 10); a file they do not finish is counted\n"
           "                        as not examined\n"
           "  --watch PATH          (guard) watch the files below PATH; repeatable (default\n"
           "                        those of /home, /tmp, /var/tmp, /media, /run/media, /opt\n"
           "                        and /usr/local that exist)\n"
           "  --on-detection WHAT   (guard) 'report' (default) or 'quarantine' a listed file\n"
           "                        that was written\n"
           "  --deadline SECONDS    (guard) the longest a program waits for its check\n"
           "                        (default 1); then it runs unchecked\n"
           "  --fail-closed         (guard) refuse a program whose check did not end in time\n"
           "  --state-dir DIR       (guard) the folder of its status file (default /run/kesto)\n"
           "  --rollback            (update) go back to the previous signature set\n"
           "  --install-root DIR    (update) install signature sets below DIR instead of\n"
           "                        /var/lib/kesto (DIR/signatures is the current set)\n"
           "  --trusted-keys DIR    (update) trust the minisign public keys in DIR instead\n"
           "                        of those in /etc/kesto/trusted-keys\n"
           "  --cache-dir DIR       (scan, cache, guard) keep the verdict cache in DIR, a\n"
           "                        folder of yours that others cannot change (default\n"
           "                        " +
           std::string(kDefaultCacheShown) +
           ")\n"
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
           "       that could not be written; a signature update or rollback that was refused\n"
           "       or failed (the installed set is left as it was)\n"
           "  130  scan stopped with Ctrl+C (or SIGTERM) before anything was listed;\n"
           "       encrypt or decrypt stopped with Ctrl+C (the file is left as it was)\n";
}

std::string versionText() {
    std::string text =
        "kesto " + std::string(Product::kVersion) + " (" + std::string(Product::kCodeName) + ")\n";
    for (const auto& [caption, value] : AboutTexts::EngineFacts()) {
        text += caption + ": " + value + "\n";
    }
    return text;
}
