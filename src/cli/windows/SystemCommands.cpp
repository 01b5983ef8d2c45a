#include "cli/SystemCommands.h"

namespace {

/// The guard answers the system before a program runs, which Windows asks only of a signed
/// file-system filter driver; this program has none.
int runGuardUnavailable(const CommandLine&, CommandStreams streams) {
    streams.err << "kesto: 'guard' needs Linux (fanotify): on Windows a real-time guard needs a "
                   "file-system filter driver, which this program does not have\n";
    return kExitError;
}

/// Updates are verified with libsodium and fetched with libcurl, which the Windows build lacks.
int runUpdateUnavailable(const CommandLine&, CommandStreams streams) {
    streams.err << "kesto: 'update' needs the Linux build: signed signature updates are checked "
                   "with libsodium and downloaded with libcurl, which this Windows build does "
                   "not have\n";
    return kExitError;
}

} // namespace

const std::map<std::string, CommandRunner>& systemCommands() {
    static const std::map<std::string, CommandRunner> commands = {
        {"decrypt", runDecrypt},  {"encrypt", runEncrypt}, {"guard", runGuardUnavailable},
        {"info", runInfo},        {"smart", runSmart},     {"update", runUpdateUnavailable},
        {"usb-lock", runUsbLock},
    };
    return commands;
}
