#pragma once

#include "scanner/DetectionList.h"
#include "scanner/Exclusions.h"
#include "scanner/ScanTarget.h"
#include "scanner/ScanTexts.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

class ExtraSignatures;
class SignatureDatabase;
class VerdictCache;

enum class ScanPass { Counting, Scanning };

struct ScanCounts {
    std::uint64_t total = 0;      ///< files found by the counting pass
    std::uint64_t checked = 0;    ///< files handled by the scanning pass
    std::uint64_t detections = 0; ///< always the number of listed rows
    std::uint64_t unreadable = 0; ///< files that could not be read, so were not examined
    /// Folders the scanning pass could not open or list, so their files were not examined.
    std::uint64_t unreadableFolders = 0;
    std::uint64_t lookupFailed = 0; ///< files whose checksum the database could not answer for
    std::uint64_t cached = 0;       ///< files answered from the verdict cache without a read
};

/// Progress after one file of the scanning pass. `percent` is set when the display changes (a
/// counted total and at most 100 %).
struct ScanProgress {
    std::uint64_t checked = 0;
    std::optional<long long> percent;
    std::string percentText;
};

struct ScanSummary {
    ScanCounts counts;
    ScanTexts::Completion completion;
    DetectionList detections;
    std::string lookupFailure; ///< why the first failed lookup failed
};

/// What a scan reports, in the order the user sees it. All calls come from the thread that runs
/// the scan.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    /// A pass begins; the detection list is emptied.
    virtual void passStarted(ScanPass pass) { (void)pass; }
    /// The counting pass ended with this many files.
    virtual void totalCounted(std::uint64_t total) { (void)total; }
    /// The scanning pass is about to check a file; `status` is the status-line text.
    virtual void fileStarted(const std::string& status) { (void)status; }
    /// Whether fileStarted is wanted at all: an observer that shows no status line says no, and
    /// the scan then does not make the text for every file.
    virtual bool wantsFileStatus() const { return true; }
    /// A row was listed (and any running process of the file ended); `detections` counts it.
    virtual void detectionListed(const DetectionEntry& entry, std::uint64_t detections) {
        (void)entry;
        (void)detections;
    }
    /// A file of the scanning pass was handled.
    virtual void fileChecked(const ScanProgress& progress) { (void)progress; }
    /// A file could not be read, so it was not examined.
    virtual void fileUnreadable(const std::string& location, const std::string& reason) {
        (void)location;
        (void)reason;
    }
    /// The checksum of a file could not be looked up, so it was not listed.
    virtual void lookupFailed(const std::string& location, const std::string& reason) {
        (void)location;
        (void)reason;
    }
    /// A folder could not be listed; the walk goes on without it.
    virtual void folderUnreadable(ScanPass pass, const std::string& folder, std::error_code error) {
        (void)pass;
        (void)folder;
        (void)error;
    }
    /// The scan is over.
    virtual void finished(const ScanSummary& summary) { (void)summary; }
};

struct ScanOptions {
    std::string root; ///< the folder to scan when `targets` is empty
    /// Folders, files and streams to scan one after the other, as one scan (SettleOverlaps makes
    /// them examine each file once).
    std::vector<ScanTarget> targets;
    /// Passed over below the scanned folders; files and folders named as targets are always
    /// scanned.
    Exclusions exclusions;
    const SignatureDatabase* database = nullptr;
    /// Files below this folder (no final separator) are never examined.
    std::string quarantineFolder;
    /// What earlier scans learnt about files that have not changed since (none reads every
    /// file); the scan keeps what it learns there too.
    VerdictCache* cache = nullptr;
    /// The signature sources beside the shipped database; none for the shipped ones alone.
    const ExtraSignatures* extra = nullptr;
    /// Threads that read and check files ahead of the walk; 0 picks one per processor.
    unsigned threads = 0;
    /// End the running process of each listed file.
    bool endProcesses = true;
    /// Ends every process running the file at a path and returns how many it ended; empty uses
    /// EndRunningProcess (a seam for tests).
    std::function<std::size_t(const std::string& path)> endRunningProcess;
    /// Called with a folder's full path just before either pass opens it (a seam for tests).
    std::function<void(ScanPass pass, const std::string& folder)> beforeFolder;
    /// This computer's clock in nanoseconds since 1970, read once as the scan begins; empty reads
    /// the system's (a seam for tests, which need not wait for files to settle).
    std::function<std::int64_t()> clock;
};

/// A scan of folders, files and streams: the counting pass, then the scanning pass that checks
/// every file, each pass going through the targets in order (a file or stream counts as one file
/// of the counting pass; a named file that cannot be reached is reported unreadable). Files are
/// checked ahead on worker threads, but everything observable (rows, counts, texts, the ending of
/// processes) happens in walk order on the calling thread, exactly as a one-file-at-a-time walk.
/// `stopRequested` is asked at the start of each folder and before each file; a scan cut short by
/// it counts as stopped.
ScanSummary RunScan(const ScanOptions& options, ScanObserver& observer,
                    const std::function<bool()>& stopRequested);
