#include "cli/Commands.h"
#include "platform/SystemFacts.h"
#include "scanner/PrintableName.h"

#include <map>

int runInfo(const CommandLine& line, CommandStreams streams) {
    return runInfoWith(line, streams, {}, platform::querySpace);
}

int runInfoWith(const CommandLine& line, CommandStreams streams,
                const platform::DriveSources& sources, const SystemInfo::SpaceQuery& query) {
    if (!line.operands.empty()) {
        return usageError(streams, "info takes no arguments");
    }
    const auto system = SystemInfo::SystemRows(platform::userName(), platform::windowsFolder(),
                                               platform::systemFolder());
    // Mount points and devices are names anyone who can mount may choose: they are shown as
    // printable names, so that none can add a line of its own or reach the terminal's controls.
    // The space is still asked for under the real mount point; printable names are unique.
    std::vector<platform::Drive> drives = platform::listDrives(sources);
    std::map<std::string, std::string> mountPoints;
    for (platform::Drive& drive : drives) {
        std::string shown = PrintableName(drive.mountPoint);
        mountPoints.emplace(shown, std::move(drive.mountPoint));
        drive.mountPoint = std::move(shown);
        drive.source = PrintableName(drive.source);
        drive.type = PrintableName(drive.type);
    }
    const auto report = SystemInfo::BuildDriveReport(drives, [&](const std::string& shown) {
        const auto real = mountPoints.find(shown);
        return real == mountPoints.end() || !query ? std::nullopt : query(real->second);
    });
    streams.out << SystemInfo::TerminalReport(system, platform::memoryStatus(), report);
    return kExitClean;
}
