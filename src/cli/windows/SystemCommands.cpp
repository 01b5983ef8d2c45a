#include "cli/SystemCommands.h"

namespace {

int runUnavailable(const CommandLine& line, CommandStreams streams) {
    streams.err << "kesto: '" << line.command << "' is not available on Windows yet\n";
    return kExitError;
}

} // namespace

const std::map<std::string, CommandRunner>& systemCommands() {
    // System facts, disk health, the USB lock and file encryption have no Windows backend yet.
    static const std::map<std::string, CommandRunner> commands = {
        {"decrypt", runUnavailable}, {"encrypt", runUnavailable},  {"info", runUnavailable},
        {"smart", runUnavailable},   {"usb-lock", runUnavailable},
    };
    return commands;
}
