#include "cli/Commands.h"
#include "platform/Mounts.h"
#include "platform/SystemFacts.h"
#include "tools/SystemInfo.h"

int runInfo(const CommandLine& line, CommandStreams streams) {
    if (!line.operands.empty()) {
        streams.err << "kesto: info takes no arguments\n";
        return kExitError;
    }
    const auto system = SystemInfo::SystemRows(platform::userName(), platform::kWindowsFolder,
                                               platform::kSystemFolder);
    const auto drives = SystemInfo::BuildDriveReport(platform::listDrives(), platform::querySpace);
    streams.out << SystemInfo::TerminalReport(system, platform::memoryStatus(), drives);
    return kExitClean;
}
