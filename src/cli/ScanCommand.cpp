#include "cli/Commands.h"
#include "cli/ScanReporter.h"
#include "engine/SignatureDatabase.h"
#include "platform/FileOps.h"
#include "platform/FolderListing.h"
#include "platform/InputFile.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <unistd.h>

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void onInterrupt(int) {
    stopRequested.store(true);
}

/// Ctrl+C stops the scan the way the Stop button does, while the guard lives.
class InterruptGuard {
public:
    InterruptGuard() {
        stopRequested.store(false);
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_previousInt);
        ::sigaction(SIGTERM, &action, &m_previousTerm);
    }
    ~InterruptGuard() {
        ::sigaction(SIGINT, &m_previousInt, nullptr);
        ::sigaction(SIGTERM, &m_previousTerm, nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
};

/// The quarantine folder as an absolute path without a final separator, symbolic links resolved
/// where it exists, so that it compares with the walk's paths.
std::string quarantineFolderFor(const CommandLine& line) {
    namespace fs = std::filesystem;
    const std::string chosen =
        line.quarantineDir.value_or(platform::homeFolder() + "/" + std::string(kQuarantineName));
    std::string canonical;
    if (!platform::canonicalFolder(chosen, canonical)) {
        return canonical;
    }
    std::error_code ec;
    std::string absolute = fs::absolute(chosen, ec).lexically_normal().string();
    while (absolute.size() > 1 && absolute.back() == '/') {
        absolute.pop_back();
    }
    return absolute;
}

} // namespace

int runScan(const CommandLine& line, CommandStreams streams) {
    if (line.operands.size() != 1) {
        streams.err << "kesto: scan needs exactly one FOLDER\n";
        return kExitError;
    }
    if (line.clean && line.quarantine) {
        streams.err << "kesto: choose either --clean or --quarantine\n";
        return kExitError;
    }
    std::string root;
    if (const auto ec = platform::canonicalFolder(line.operands.front(), root)) {
        streams.err << "kesto: cannot scan '" << line.operands.front() << "': " << ec.message()
                    << '\n';
        return kExitError;
    }
    const std::string databasePath = databasePathFor(line);
    const SignatureDatabase database(databasePath);
    std::string databaseProblem;
    try {
        databaseProblem = database.problem();
    } catch (const DatabaseError& error) {
        streams.err << "kesto: " << error.what() << '\n';
        return kExitError;
    }

    ScanReporter::Settings settings;
    settings.json = line.json;
    settings.quiet = line.quiet;
    settings.liveProgress = !line.json && ::isatty(STDERR_FILENO) == 1;
    ScanReporter reporter(streams, settings, root);
    if (!databaseProblem.empty()) {
        reporter.problem(databaseProblem + "; files it does not list are reported clean");
    }

    ScanOptions options;
    options.root = root;
    options.database = &database;
    options.quarantineFolder = quarantineFolderFor(line);
    ScanSummary summary;
    {
        const InterruptGuard guard;
        summary = RunScan(options, reporter, [] { return stopRequested.load(); });
    }
    const bool interrupted = stopRequested.load();
    if (!interrupted && (line.clean || line.quarantine)) {
        const ActionResult result =
            tindakan(line.clean ? kActionDelete : kActionQuarantine, summary.detections,
                     options.quarantineFolder, reporter);
        reporter.actionFinished(result);
    }
    reporter.close();

    if (summary.counts.detections > 0) {
        return kExitDetected;
    }
    if (interrupted) {
        return kExitInterrupted;
    }
    if (reporter.rootUnreadable() || !databaseProblem.empty()) {
        return kExitError;
    }
    return kExitClean;
}
