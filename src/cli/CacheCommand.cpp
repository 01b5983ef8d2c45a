#include "cache/CacheFolder.h"
#include "cache/VerdictStore.h"
#include "cli/Commands.h"
#include "cli/JsonText.h"
#include "scanner/PrintableName.h"

#include <cstdio>

namespace {

std::string mebibytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

void statsText(const std::string& path, const VerdictStoreStats& stats, std::ostream& out) {
    out << "Verdict cache : " << PrintableName(path) << '\n'
        << "Entries       : " << stats.entries << '\n'
        << "Size          : " << mebibytes(stats.bytes) << " (limit " << mebibytes(stats.limit)
        << ")\n"
        << "Last scan     : ";
    if (stats.lastChecked && stats.lastHits) {
        out << *stats.lastChecked << " file(s) checked, " << *stats.lastHits
            << " answered from the cache\n";
    } else {
        out << "none\n";
    }
}

void statsJson(const std::string& path, const VerdictStoreStats& stats, std::ostream& out) {
    out << "{\n  \"path\": " << JsonString(path) << ",\n  \"entries\": " << stats.entries
        << ",\n  \"bytes\": " << stats.bytes << ",\n  \"limit\": " << stats.limit
        << ",\n  \"lastScan\": ";
    if (stats.lastChecked && stats.lastHits) {
        out << "{\"checked\": " << *stats.lastChecked << ", \"cached\": " << *stats.lastHits << '}';
    } else {
        out << "null";
    }
    out << "\n}\n";
}

} // namespace

int runCache(const CommandLine& line, CommandStreams streams) {
    const std::string action = line.operands.empty() ? std::string() : line.operands.front();
    if (line.operands.size() != 1 || (action != "stats" && action != "clear")) {
        return usageError(streams, "cache needs 'stats' or 'clear'");
    }
    const std::string folderPath = line.cacheDir.value_or(DefaultCacheFolder());
    platform::FolderHandle folder;
    if (const std::error_code error = OpenCacheFolder(folderPath, folder)) {
        streams.err << "kesto: cannot use the verdict cache folder '" << PrintableName(folderPath)
                    << "': " << error.message() << '\n';
        return kExitError;
    }
    std::string warning;
    std::error_code error;
    const std::unique_ptr<VerdictStore> store =
        VerdictStore::Open(folder, VerdictStore::kDefaultLimit, warning, error);
    if (!warning.empty()) {
        streams.err << "kesto: " << warning << '\n';
    }
    if (!store) {
        streams.err << "kesto: cannot open the verdict cache in '" << PrintableName(folderPath)
                    << "': " << error.message() << '\n';
        return kExitError;
    }
    const std::string path = folderPath + "/" + std::string(VerdictStore::kFileName);
    if (action == "clear") {
        const std::uint64_t entries = store->stats().entries;
        if ((error = store->clear())) {
            streams.err << "kesto: cannot clear the verdict cache '" << PrintableName(path)
                        << "': " << error.message() << '\n';
            return kExitError;
        }
        streams.out << "Verdict cache cleared: " << entries << " entries removed\n";
        return kExitClean;
    }
    const VerdictStoreStats stats = store->stats();
    if (line.json) {
        statsJson(path, stats, streams.out);
    } else {
        statsText(path, stats, streams.out);
    }
    return kExitClean;
}
