#include "cli/Commands.h"
#include "engine/KestoEngine.h"

#include <map>

std::string databasePathFor(const CommandLine& line) {
    return line.database.value_or(KestoEngine::DefaultDatabasePath());
}

int runKesto(const std::vector<std::string>& arguments, CommandStreams streams) {
    using Runner = int (*)(const CommandLine&, CommandStreams);
    static const std::map<std::string, Runner> commands = {
        {"inspect", runInspect},
        {"scan", runScan},
        {"signatures", runSignatures},
    };
    CommandLine line;
    try {
        line = parseCommandLine(arguments);
    } catch (const UsageError& error) {
        streams.err << "kesto: " << error.message << "\n\n" << usageText();
        return kExitError;
    }
    if (line.help) {
        streams.out << usageText();
        return kExitClean;
    }
    if (line.version) {
        streams.out << versionText();
        return kExitClean;
    }
    const auto command = commands.find(line.command);
    if (command == commands.end()) {
        streams.err << (line.command.empty() ? std::string("kesto: no command given")
                                             : "kesto: unknown command '" + line.command + "'")
                    << "\n\n"
                    << usageText();
        return kExitError;
    }
    return command->second(line, streams);
}
