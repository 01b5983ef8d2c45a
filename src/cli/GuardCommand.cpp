#include "cache/VerdictCache.h"
#include "cli/Commands.h"
#include "cli/SignatureSources.h"
#include "engine/SignatureDatabase.h"
#include "guard/Guard.h"
#include "guard/GuardChecker.h"
#include "guard/GuardLog.h"
#include "guard/GuardStatus.h"
#include "guard/GuardTally.h"
#include "guard/WrittenFileAction.h"
#include "platform/AccessEvents.h"
#include "platform/Interrupt.h"
#include "scanner/PrintableName.h"
#include "scanner/QuarantineFolder.h"
#include "scanner/QuarantineStore.h"
#include "scanner/ScanCache.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

/// Where the guard's JSON-lines log goes unless --log says otherwise.
constexpr const char* kDefaultGuardLog = "/var/log/kesto/guard.log";
/// The folders watched unless --watch says otherwise, those that exist.
constexpr const char* kDefaultWatched[] = {"/home",      "/tmp", "/var/tmp",  "/media",
                                           "/run/media", "/opt", "/usr/local"};

std::int64_t wallClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

/// The deadline of --deadline SECONDS: a decimal number of seconds from 0.001 to 60.
std::optional<std::chrono::nanoseconds> parseDeadline(const std::string& text) {
    double seconds = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), seconds, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(seconds) ||
        seconds < 0.001 || seconds > 60) {
        return std::nullopt;
    }
    return std::chrono::nanoseconds(static_cast<std::int64_t>(std::llround(seconds * 1e9)));
}

/// The watched folders as the system names them (links resolved), or a problem.
std::vector<std::string> watchedFolders(const CommandLine& line, std::string& problem) {
    std::vector<std::string> paths = line.watch;
    if (paths.empty()) {
        for (const char* folder : kDefaultWatched) {
            std::error_code error;
            if (std::filesystem::is_directory(folder, error)) {
                paths.emplace_back(folder);
            }
        }
    }
    std::vector<std::string> watched;
    for (const std::string& path : paths) {
        std::error_code error;
        const std::filesystem::path resolved = std::filesystem::canonical(path, error);
        if (error) {
            problem = "cannot watch '" + PrintableName(path) + "': " + error.message();
            return {};
        }
        if (std::find(watched.begin(), watched.end(), resolved.string()) == watched.end()) {
            watched.push_back(resolved.string());
        }
    }
    if (watched.empty()) {
        problem = "none of the folders to watch exists";
    }
    return watched;
}

/// Stops the guard when Ctrl+C or a termination request (systemd's stop) arrives.
class StopOnInterrupt {
public:
    explicit StopOnInterrupt(Guard& guard)
        : m_thread([this, &guard] {
              while (!m_done.load()) {
                  if (platform::interruptRequested()) {
                      guard.stop();
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          }) {}
    ~StopOnInterrupt() {
        m_done.store(true);
        m_thread.join();
    }
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

private:
    std::atomic<bool> m_done{false};
    platform::InterruptGuard m_interrupts;
    std::thread m_thread;
};

} // namespace

int runGuard(const CommandLine& line, CommandStreams streams) {
    if (!line.operands.empty() && line.operands.front() == "status") {
        if (line.operands.size() != 1) {
            return usageError(streams, "guard status takes no operands");
        }
        return runGuardStatus(line, streams);
    }
    if (!line.operands.empty()) {
        return usageError(streams, "guard takes no operands but 'status'");
    }
    // A journal reader that goes away must not end the guard: its writes fail instead.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string onDetection = line.onDetection.value_or("report");
    if (onDetection != "report" && onDetection != "quarantine") {
        return usageError(streams, "--on-detection needs 'report' or 'quarantine'");
    }
    GuardOptions options;
    if (line.deadline) {
        const auto deadline = parseDeadline(*line.deadline);
        if (!deadline) {
            return usageError(streams, "--deadline needs a number of seconds from 0.001 to 60");
        }
        options.deadline = *deadline;
    }
    options.failClosed = line.failClosed;
    std::string problem;
    options.watched = watchedFolders(line, problem);
    if (options.watched.empty()) {
        streams.err << "kesto: " << problem << '\n';
        return kExitError;
    }

    const std::optional<LoadedSignatures> extra = LoadSignatureSources(line, streams);
    if (!extra) {
        return kExitError;
    }
    options.extra = extra->active();
    const SignatureDatabase database(databasePathFor(line));
    try {
        if (const std::string databaseProblem = database.problem(); !databaseProblem.empty()) {
            streams.err << "kesto: " << databaseProblem << '\n';
            return kExitError;
        }
    } catch (const DatabaseError& error) {
        streams.err << "kesto: " << error.what() << '\n';
        return kExitError;
    }
    const std::string quarantineFolder =
        ResolveQuarantineFolder(line.quarantineDir.value_or(DefaultQuarantineFolder()));
    if (onDetection == "quarantine") {
        if (const std::string folderProblem = QuarantineFolderProblem(quarantineFolder);
            !folderProblem.empty()) {
            streams.err << "kesto: " << folderProblem << '\n';
            return kExitError;
        }
        options.act = [&database, quarantineFolder, &extra](const std::string& path,
                                                            const platform::FileStamp& stamp,
                                                            const OpenFileVerdict& verdict) {
            return QuarantineWrittenFile(database, quarantineFolder, path, stamp, verdict,
                                         extra->active());
        };
    }

    // Every folder is watched before anything is answered: a guard that cannot watch all of
    // them does not start at all.
    std::error_code error;
    const std::unique_ptr<platform::AccessEvents> events = platform::openAccessEvents(error);
    if (!events) {
        streams.err << "kesto: cannot start the guard: " << error.message() << '\n';
        return kExitError;
    }
    for (const std::string& folder : options.watched) {
        if (const std::error_code watchError = events->watch(folder)) {
            streams.err << "kesto: cannot watch '" << PrintableName(folder)
                        << "': " << watchError.message() << '\n';
            return kExitError;
        }
    }

    std::unique_ptr<VerdictCache> cache;
    if (!line.noCache) {
        std::string warning;
        cache = OpenScanCache(database, line.cacheDir.value_or(""), warning, extra->active());
        if (!warning.empty()) {
            streams.err << "kesto: " << PrintableName(warning)
                        << (cache ? "" : "; checking without it") << '\n';
        }
    }
    GuardLogOptions logOptions;
    logOptions.textOutput = STDERR_FILENO;
    logOptions.filePath = line.log.value_or(kDefaultGuardLog);
    GuardLog log(std::move(logOptions));
    GuardTally tally;
    GuardChecker checker(database, cache.get(), extra->active());

    const std::string stateFolder = line.stateDir.value_or(kGuardStateFolder);
    GuardStatus status;
    status.pid = platform::currentProcessId();
    status.startedNs = wallClockNs();
    status.watched = options.watched;
    status.deadlineNs = options.deadline.count();
    status.failClosed = options.failClosed;
    status.onDetection = onDetection;
    std::mutex statusMutex; // the status file is written by the second thread and at the end
    const auto writeStatus = [&](bool stopped) {
        const std::lock_guard lock(statusMutex);
        status.updatedNs = wallClockNs();
        status.stopped = stopped;
        status.counts = tally.counts(log.dropped());
        status.recent = tally.recent();
        return WriteGuardStatus(stateFolder, status);
    };
    options.quickCheck = [&checker](const platform::InputFile& file, std::string_view name) {
        return checker.checkUnread(file, name);
    };
    options.everySecond = [&] {
        checker.refresh();
        writeStatus(false);
    };
    if (const std::error_code statusError = writeStatus(false)) {
        streams.err << "kesto: cannot write the guard's status in '" << PrintableName(stateFolder)
                    << "': " << statusError.message() << '\n';
        return kExitError;
    }
    std::string watchedText;
    for (const std::string& folder : options.watched) {
        watchedText += (watchedText.empty() ? "" : ", ") + folder;
    }
    GuardRecord started;
    started.timeNs = wallClockNs();
    started.event = GuardEvent::Started;
    started.detail = "watching " + watchedText;
    log.add(std::move(started));

    std::error_code failure;
    {
        Guard guard(
            *events, options,
            [&checker](platform::InputFile& file, std::string_view name) {
                return checker.check(file, name);
            },
            log, tally);
        const StopOnInterrupt stopper(guard);
        failure = guard.run();
        guard.stop();
    } // every thread of the guard has ended here, so the last status written is this one
    GuardRecord stopped;
    stopped.timeNs = wallClockNs();
    stopped.event = failure ? GuardEvent::Error : GuardEvent::Stopped;
    stopped.detail = failure ? "cannot read the system's events: " + failure.message() : "";
    log.add(std::move(stopped));
    if (const std::error_code statusError = writeStatus(true)) {
        streams.err << "kesto: cannot write the guard's status in '" << PrintableName(stateFolder)
                    << "': " << statusError.message() << '\n';
    }
    return failure ? kExitError : kExitClean;
}
