#include "cli/Commands.h"
#include "cli/SignatureSources.h"
#include "engine/SignatureList.h"
#include "scanner/PrintableName.h"
#include "signatures/ExtraSignatures.h"

int runSignatures(const CommandLine& line, CommandStreams streams) {
    if (!line.operands.empty()) {
        return usageError(streams, "signatures takes no arguments");
    }
    const std::optional<LoadedSignatures> extra = LoadSignatureSources(line, streams);
    if (!extra) {
        return kExitError;
    }
    const SignatureList list = BuildSignatureList(databasePathFor(line));
    for (const std::string& item : list.items) {
        streams.out << item << '\n';
    }
    streams.out << list.totalLine << '\n';
    // Each extra source follows with its count, then its names, numbered on from the list above.
    const std::vector<SignatureSourceInfo>& sources = extra->set->sources();
    std::size_t number = list.items.size();
    bool extraListed = false;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].refused) {
            continue;
        }
        extraListed = true;
        streams.out << PrintableName(sources[i].path) << " : " << SourceCountText(sources[i])
                    << '\n';
        extra->set->forEachName(i, [&](std::string_view name) {
            streams.out << ++number << ". " << PrintableName(std::string(name)) << '\n';
            return static_cast<bool>(streams.out);
        });
    }
    if (extraListed) {
        streams.out << "Total Signatures, all sources : " << number << '\n';
    }
    if (!list.problem.empty()) {
        streams.err << "kesto: " << list.problem << '\n';
        return kExitError;
    }
    return extra->problems ? kExitError : kExitClean;
}
