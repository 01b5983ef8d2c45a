#include "cli/Commands.h"
#include "cli/JsonText.h"
#include "scanner/DisplayName.h"
#include "scanner/QuarantineFolder.h"
#include "scanner/QuarantineStore.h"

namespace {

void listJson(const QuarantineStore& store, const std::vector<QuarantineItem>& items,
              std::ostream& out) {
    out << "{\n  \"folder\": " << JsonString(store.folder()) << ",\n  \"files\": [";
    const char* separator = "\n";
    for (const QuarantineItem& item : items) {
        out << separator << "    {\"name\": " << JsonString(item.name)
            << ", \"present\": " << (item.fileMissing ? "false" : "true");
        if (const auto& record = item.record) {
            out << ", \"location\": " << JsonString(record->location)
                << ", \"threat\": " << JsonString(record->threat)
                << ", \"checksum\": " << JsonString(record->checksum)
                << ", \"sha256\": " << JsonString(record->sha256) << ", \"size\": " << record->size
                << ", \"mode\": " << JsonString(ModeText(record->mode))
                << ", \"uid\": " << record->uid << ", \"gid\": " << record->gid
                << ", \"quarantined\": " << JsonString(record->quarantinedAt);
        }
        if (!item.problem.empty()) {
            out << ", \"problem\": " << JsonString(item.problem);
        }
        out << '}';
        separator = ",\n";
    }
    out << (items.empty() ? "]" : "\n  ]") << "\n}\n";
}

void listText(const QuarantineStore& store, const std::vector<QuarantineItem>& items,
              std::ostream& out) {
    if (items.empty()) {
        out << "No quarantined files in '" << PrintableName(store.folder()) << "'\n";
        return;
    }
    for (const QuarantineItem& item : items) {
        const QuarantineRowTexts row = QuarantineRow(item);
        out << DisplayName(item.name) << ": " << row.location;
        if (item.record) {
            out << " (" << row.threat << ", " << row.size << " bytes, " << row.date << ')';
        }
        out << '\n';
    }
}

int list(const QuarantineStore& store, const CommandLine& line, CommandStreams streams) {
    std::vector<QuarantineItem> items;
    if (const auto ec = store.list(items)) {
        streams.err << "kesto: cannot list the quarantine folder '" << PrintableName(store.folder())
                    << "': " << ec.message() << '\n';
        return kExitError;
    }
    if (line.json) {
        listJson(store, items, streams.out);
    } else {
        listText(store, items, streams.out);
    }
    return kExitClean;
}

int report(const QuarantineOutcome& outcome, CommandStreams streams) {
    if (!outcome.done) {
        streams.err << "kesto: " << outcome.message << '\n';
        return kExitError;
    }
    streams.out << outcome.message << '\n';
    return kExitClean;
}

} // namespace

int runQuarantine(const CommandLine& line, CommandStreams streams) {
    const std::string action = line.operands.empty() ? std::string() : line.operands.front();
    const std::size_t operands = line.operands.size();
    const bool takesName = action == "restore" || action == "delete";
    if (!(action == "list" && operands == 1) && !(takesName && operands == 2)) {
        return usageError(streams, "quarantine takes one of: list, restore NAME, delete NAME");
    }
    if (line.to && (action != "restore" || line.to->empty())) {
        return usageError(streams, "--to takes a FOLDER and goes with quarantine restore only");
    }
    if (line.json && action != "list") {
        return usageError(streams, "--json goes with quarantine list only");
    }
    const QuarantineStore store(
        ResolveQuarantineFolder(line.quarantineDir.value_or(DefaultQuarantineFolder())));
    if (action == "list") {
        return list(store, line, streams);
    }
    const std::string& name = line.operands[1];
    return report(action == "restore" ? store.restore(name, line.to) : store.remove(name), streams);
}
