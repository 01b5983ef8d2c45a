#include "cli/Commands.h"
#include "engine/SignatureList.h"

int runSignatures(const CommandLine& line, CommandStreams streams) {
    if (!line.operands.empty()) {
        return usageError(streams, "signatures takes no arguments");
    }
    const SignatureList list = BuildSignatureList(databasePathFor(line));
    for (const std::string& item : list.items) {
        streams.out << item << '\n';
    }
    streams.out << list.totalLine << '\n';
    if (!list.problem.empty()) {
        streams.err << "kesto: " << list.problem << '\n';
        return kExitError;
    }
    return kExitClean;
}
