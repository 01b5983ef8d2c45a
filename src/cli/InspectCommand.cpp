#include "cli/Commands.h"
#include "engine/FileInspection.h"

int runInspect(const CommandLine& line, CommandStreams streams) {
    if (line.operands.empty()) {
        return usageError(streams, "inspect needs at least one FILE");
    }
    int exitCode = kExitClean;
    for (const std::string& path : line.operands) {
        const FileInspection inspection = InspectFile(path);
        if (!inspection.error.empty()) {
            streams.out.flush();
            streams.err << "kesto: cannot read '" << path << "': " << inspection.error << '\n';
            exitCode = kExitError;
            continue;
        }
        streams.out << path << '\n'
                    << "  Checksum : " << inspection.checksum << '\n'
                    << "  Type     : " << inspection.type.value_or("") << '\n'
                    << "  Compiler : " << inspection.compiler.value_or("") << '\n'
                    << "  Packer   : " << inspection.packer.value_or("") << '\n'
                    << "  SHA-256  : " << inspection.sha256.value_or("") << '\n';
    }
    return exitCode;
}
