#include "cache/VerdictCache.h"
#include "cli/Commands.h"
#include "cli/JsonText.h"
#include "cli/ReportLog.h"
#include "cli/ScanReporter.h"
#include "cli/SignatureSources.h"
#include "engine/SignatureDatabase.h"
#include "platform/FolderListing.h"
#include "platform/Interrupt.h"
#include "platform/Terminal.h"
#include "scanner/QuarantineFolder.h"
#include "scanner/QuarantineStore.h"
#include "scanner/ScanCache.h"

#include <algorithm>
#include <unistd.h>

namespace {

/// Where detections in standard input are listed.
constexpr const char* kStandardInput = "(standard input)";

/// Checks the scan's own options; the usage problem, or nothing.
std::string usageProblem(const CommandLine& line) {
    if (line.operands.empty()) {
        return "scan needs at least one FOLDER, FILE or '-'";
    }
    if (std::count(line.operands.begin(), line.operands.end(), "-") > 1) {
        return "standard input ('-') can be scanned only once";
    }
    if (line.clean && line.quarantine) {
        return "choose either --clean or --quarantine";
    }
    for (const auto* globs : {&line.excludes, &line.excludeDirs}) {
        if (std::find(globs->begin(), globs->end(), "") != globs->end()) {
            return "an exclusion needs a non-empty GLOB";
        }
    }
    return {};
}

/// The targets of the operands, in order; each path that cannot be scanned adds a problem.
std::vector<ScanTarget> resolveTargets(const std::vector<std::string>& operands,
                                       std::vector<std::string>& problems) {
    std::vector<ScanTarget> targets;
    for (const std::string& operand : operands) {
        if (operand == "-") {
            targets.push_back({ScanTarget::Kind::Stream, kStandardInput, STDIN_FILENO});
            continue;
        }
        ScanTarget target;
        if (const std::string problem = ResolveScanTarget(operand, target); !problem.empty()) {
            problems.push_back("cannot scan '" + PrintableName(operand) + "': " + problem);
            continue;
        }
        targets.push_back(std::move(target));
    }
    return targets;
}

/// Deletes or quarantines the listed files. A row of standard input has no file to act on: it
/// stays listed and is reported as not handled, never counted as removed.
ActionResult actOnDetections(const CommandLine& line, const DetectionList& detections,
                             const ActionOptions& options, ScanReporter& reporter) {
    DetectionList files;
    DetectionList streams;
    for (const DetectionEntry& row : detections) {
        (row.folder ? files : streams).push_back(row);
    }
    ActionResult result =
        tindakan(line.clean ? kActionDelete : kActionQuarantine, files, options, reporter);
    for (const DetectionEntry& row : streams) {
        ActionOutcome outcome;
        outcome.location = row.location;
        outcome.reason = "standard input is not a file";
        reporter.entryKept(0, row, outcome.reason);
        result.outcomes.push_back(std::move(outcome));
        ++result.failed;
    }
    return result;
}

} // namespace

int runScan(const CommandLine& line, CommandStreams streams) {
    if (const std::string problem = usageProblem(line); !problem.empty()) {
        return usageError(streams, problem);
    }
    std::vector<std::string> pathProblems;
    std::vector<ScanTarget> targets = resolveTargets(line.operands, pathProblems);
    if (targets.empty()) {
        for (const std::string& problem : pathProblems) {
            streams.err << "kesto: " << problem << '\n';
        }
        return kExitError;
    }
    const std::optional<LoadedSignatures> extra = LoadSignatureSources(line, streams);
    if (!extra) {
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
    // The log is opened before anything is scanned: a scan whose report would be lost is not run.
    ReportLog log(streams.out);
    if (line.log) {
        if (const auto ec = log.open(*line.log)) {
            streams.err << "kesto: cannot open the log '" << PrintableName(*line.log)
                        << "': " << ec.message() << '\n';
            return kExitError;
        }
    }

    // Files are never moved into a folder that others could change: refused before the scan.
    const std::string quarantineFolder =
        ResolveQuarantineFolder(line.quarantineDir.value_or(DefaultQuarantineFolder()));
    if (line.quarantine) {
        if (const std::string problem = QuarantineFolderProblem(quarantineFolder);
            !problem.empty()) {
            streams.err << "kesto: " << problem << '\n';
            return kExitError;
        }
    }

    ScanReporter::Settings settings;
    settings.json = line.json;
    settings.quiet = line.quiet;
    settings.liveProgress = !line.json && platform::stderrIsTerminal();
    settings.quarantine = line.quarantine;
    settings.noSummary = line.noSummary;
    ScanReporter reporter({log.stream(), streams.err}, settings, targets);
    for (const std::string& problem : pathProblems) {
        reporter.problem(problem);
    }
    if (!databaseProblem.empty()) {
        reporter.problem(databaseProblem + "; files it does not list are reported clean");
    }

    ScanOptions options;
    for (const std::string& glob : line.excludes) {
        options.exclusions.addFileGlob(glob);
    }
    for (const std::string& glob : line.excludeDirs) {
        options.exclusions.addFolderGlob(glob);
    }
    // A file named twice, or below a folder named too, is examined once, where it is first met.
    for (const std::string& note : SettleOverlaps(targets, options.exclusions)) {
        streams.err << "kesto: " << note << '\n';
    }
    // Standard input is read whatever the cache holds; a scan of it alone needs no cache.
    std::unique_ptr<VerdictCache> cache;
    const bool filesToScan =
        std::any_of(targets.begin(), targets.end(), [](const ScanTarget& target) {
            return target.kind != ScanTarget::Kind::Stream;
        });
    if (!line.noCache && filesToScan) {
        std::string warning;
        cache = OpenScanCache(database, line.cacheDir.value_or(""), warning, extra->active());
        if (!warning.empty()) {
            streams.err << "kesto: " << PrintableName(warning)
                        << (cache ? "" : "; scanning without it") << '\n';
        }
    }
    options.targets = std::move(targets);
    options.database = &database;
    options.quarantineFolder = quarantineFolder;
    options.cache = cache.get();
    options.extra = extra->active();
    ScanSummary summary;
    {
        const platform::InterruptGuard guard;
        summary = RunScan(options, reporter, [] { return platform::interruptRequested(); });
    }
    const bool interrupted = platform::interruptRequested();
    if (!interrupted && (line.clean || line.quarantine)) {
        reporter.actionFinished(actOnDetections(
            line, summary.detections,
            ActionOptionsFor(database, options.quarantineFolder, options.extra), reporter));
    }
    reporter.close();
    bool logFailed = false;
    if (const auto ec = log.finish()) {
        streams.err << "kesto: cannot write the log '" << PrintableName(*line.log)
                    << "': " << ec.message() << '\n';
        logFailed = true;
    }

    if (summary.counts.detections > 0) {
        return kExitDetected;
    }
    if (interrupted) {
        return kExitInterrupted;
    }
    const ScanCounts& counts = summary.counts;
    if (logFailed || !pathProblems.empty() || reporter.rootUnreadable() ||
        !databaseProblem.empty() || counts.unreadable > 0 || counts.lookupFailed > 0 ||
        extra->problems) {
        return kExitError;
    }
    return kExitClean;
}
