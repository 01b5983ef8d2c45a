#include "cli/Commands.h"
#include "cli/SystemCommands.h"
#include "engine/KestoEngine.h"
#include "scanner/PrintableName.h"

#include <cerrno>
#include <map>
#include <new>
#include <system_error>

namespace {

/// `code`, unless the results could not all be written: output that never arrived is a failure,
/// never a silent success (a listing still exits with its own code).
int checkedOutput(int code, CommandStreams streams) {
    errno = 0;
    streams.out.flush();
    if (streams.out) {
        return code;
    }
    const int error = errno;
    streams.err << "kesto: cannot write the output"
                << (error != 0 ? ": " + std::generic_category().message(error) : std::string())
                << '\n';
    return code == kExitDetected ? code : kExitError;
}

} // namespace

int usageError(CommandStreams streams, const std::string& problem) {
    streams.err << "kesto: " << problem << "\nTry 'kesto --help'.\n";
    return kExitError;
}

std::string databasePathFor(const CommandLine& line) {
    return line.database.value_or(KestoEngine::DefaultDatabasePath());
}

int runKesto(const std::vector<std::string>& arguments, CommandStreams streams) {
    static const std::map<std::string, CommandRunner> commands = [] {
        std::map<std::string, CommandRunner> all = {
            {"cache", runCache}, {"inspect", runInspect},       {"quarantine", runQuarantine},
            {"scan", runScan},   {"signatures", runSignatures},
        };
        all.insert(systemCommands().begin(), systemCommands().end());
        return all;
    }();
    CommandLine line;
    try {
        line = parseCommandLine(arguments);
    } catch (const UsageError& error) {
        return usageError(streams, error.message);
    }
    if (line.help) {
        streams.out << usageText();
        return checkedOutput(kExitClean, streams);
    }
    if (line.version) {
        streams.out << versionText();
        return checkedOutput(kExitClean, streams);
    }
    const auto command = commands.find(line.command);
    if (command == commands.end()) {
        return usageError(streams, line.command.empty()
                                       ? std::string("no command given")
                                       : "unknown command '" + PrintableName(line.command) + "'");
    }
    try {
        return checkedOutput(command->second(line, streams), streams);
    } catch (const std::bad_alloc&) {
        streams.err << "kesto: out of memory\n";
        return kExitError;
    }
}
