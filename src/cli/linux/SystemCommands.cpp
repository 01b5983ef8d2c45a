#include "cli/SystemCommands.h"

const std::map<std::string, CommandRunner>& systemCommands() {
    static const std::map<std::string, CommandRunner> commands = {
        {"decrypt", runDecrypt},  {"encrypt", runEncrypt}, {"guard", runGuard},
        {"info", runInfo},        {"smart", runSmart},     {"update", runUpdate},
        {"usb-lock", runUsbLock},
    };
    return commands;
}
