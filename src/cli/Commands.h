#pragma once

#include "cli/CommandLine.h"

#include <ostream>
#include <string>

/// Where a command writes: results to `out`, messages to `err`.
struct CommandStreams {
    std::ostream& out;
    std::ostream& err;
};

/// Exit codes as command-line scanners use them.
enum ExitCode : int {
    kExitClean = 0,
    kExitDetected = 1,
    kExitError = 2,
    kExitInterrupted = 130, ///< stopped by Ctrl+C with nothing listed
};

int runInspect(const CommandLine& line, CommandStreams streams);
int runSignatures(const CommandLine& line, CommandStreams streams);
int runScan(const CommandLine& line, CommandStreams streams);
int runInfo(const CommandLine& line, CommandStreams streams);

/// The database the command line uses: --database, else the one beside the program.
std::string databasePathFor(const CommandLine& line);

/// Parses and runs one `kesto` invocation; returns its exit code.
int runKesto(const std::vector<std::string>& arguments, CommandStreams streams);
