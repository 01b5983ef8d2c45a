#include "cli/SystemCommands.h"

namespace {

/// The guard answers the system before a program runs, which Windows asks only of a signed
/// file-system filter driver; this program has none.
int runGuardUnavailable(const CommandLine&, CommandStreams streams) {
    streams.err << "kesto: 'guard' needs Linux (fanotify): on Windows a real-time guard needs a "
                   "file-system filter driver, which this program does not have\n";
    return kExitError;
}

} // namespace

const std::map<std::string, CommandRunner>& systemCommands() {
    static const std::map<std::string, CommandRunner> commands = {
        {"decrypt", runDecrypt}, {"encrypt", runEncrypt}, {"guard", runGuardUnavailable},
        {"info", runInfo},       {"smart", runSmart},     {"usb-lock", runUsbLock},
    };
    return commands;
}
