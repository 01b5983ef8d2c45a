#include "cli/Commands.h"
#include "cli/ScanReporter.h"
#include "engine/SignatureDatabase.h"
#include "platform/FolderListing.h"
#include "scanner/QuarantineFolder.h"

#include <atomic>
#include <csignal>
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
    settings.quarantine = line.quarantine;
    ScanReporter reporter(streams, settings, root);
    if (!databaseProblem.empty()) {
        reporter.problem(databaseProblem + "; files it does not list are reported clean");
    }

    ScanOptions options;
    options.root = root;
    options.database = &database;
    options.quarantineFolder =
        ResolveQuarantineFolder(line.quarantineDir.value_or(DefaultQuarantineFolder()));
    ScanSummary summary;
    {
        const InterruptGuard guard;
        summary = RunScan(options, reporter, [] { return stopRequested.load(); });
    }
    const bool interrupted = stopRequested.load();
    if (!interrupted && (line.clean || line.quarantine)) {
        const ActionOptions actionOptions = ActionOptionsFor(database, options.quarantineFolder);
        const ActionResult result = tindakan(line.clean ? kActionDelete : kActionQuarantine,
                                             summary.detections, actionOptions, reporter);
        reporter.actionFinished(result);
    }
    reporter.close();

    if (summary.counts.detections > 0) {
        return kExitDetected;
    }
    if (interrupted) {
        return kExitInterrupted;
    }
    const ScanCounts& counts = summary.counts;
    if (reporter.rootUnreadable() || !databaseProblem.empty() || counts.unreadable > 0 ||
        counts.lookupFailed > 0) {
        return kExitError;
    }
    return kExitClean;
}
