#include "cli/SystemCommands.h"

namespace {

int runUnavailable(const CommandLine& line, CommandStreams streams) {
    streams.err << "kesto: '" << line.command << "' is not available on Windows yet\n";
    return kExitError;
}

/// The guard answers the system before a program runs, which Windows asks only of a signed
/// file-system filter driver; this program has none.
int runGuardUnavailable(const CommandLine&, CommandStreams streams) {
    streams.err << "kesto: 'guard' needs Linux (fanotify): on Windows a real-time guard needs a "
                   "file-system filter driver, which this program does not have\n";
    return kExitError;
}

} // namespace

const std::map<std::string, CommandRunner>& systemCommands() {
    // System facts, the USB lock and file encryption have no Windows backend yet.
    static const std::map<std::string, CommandRunner> commands = {
        {"decrypt", runUnavailable}, {"encrypt", runUnavailable}, {"guard", runGuardUnavailable},
        {"info", runUnavailable},    {"smart", runSmart},         {"usb-lock", runUnavailable},
    };
    return commands;
}
