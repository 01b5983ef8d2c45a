#include "scanner/ScanSession.h"

#include "cache/VerdictCache.h"
#include "engine/SignatureDatabase.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "scanner/CheckPipeline.h"
#include "scanner/DisplayName.h"
#include "scanner/FileCheck.h"
#include "scanner/FolderWalk.h"
#include "scanner/ProcessTable.h"
#include "scanner/StreamCheck.h"

#include <deque>
#include <thread>

namespace {

// How many files the workers may check ahead of the walk's observable position.
constexpr std::size_t kCheckAhead = 2048;

unsigned workerCount(unsigned requested) {
    if (requested != 0) {
        return requested;
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

FolderWalk::BeforeFolder beforeFolderOf(const ScanOptions& options, ScanPass pass) {
    if (!options.beforeFolder) {
        return {};
    }
    return [&options, pass](const std::string& folder) { options.beforeFolder(pass, folder); };
}

/// Opens a file named as a target the way the walk hands files out: relative to its folder,
/// which becomes the root of its chain, and never through a link.
std::error_code openNamedFile(const std::string& path, WalkedFile& file) {
    const std::size_t slash = path.rfind(platform::kPathSeparator);
    file.folder = path.substr(0, slash + 1);
    file.name = path.substr(slash + 1);
    auto handle = std::make_shared<platform::FolderHandle>();
    if (const auto ec = handle->openPath(file.folder)) {
        return ec;
    }
    platform::FileStamp stamp;
    if (const auto ec = handle->statFile(file.name, stamp)) {
        return ec;
    }
    file.size = stamp.size;
    // A root folder keeps its separator: "C:" alone names a current folder, not the drive's root.
    const std::string root = file.folder.size() > platform::pathRootLength(file.folder)
                                 ? path.substr(0, slash)
                                 : file.folder;
    file.node = std::make_shared<WalkedFolder>(nullptr, root, handle->id());
    file.handle = std::move(handle);
    return {};
}

/// The scanning pass over every target. Files are checked ahead on the pipeline's workers; what
/// the user sees happens here, in target and walk order. The workers may start during the counting
/// pass, on the files it meets: a result of that is used only for the file this pass's walk meets
/// at the same place under the same name and number, and only while the database it was looked up
/// in is still the one this pass would look in.
class ScanningPass {
public:
    ScanningPass(const ScanOptions& options, ScanObserver& observer, ScanSummary& summary,
                 const std::function<bool()>& stopRequested, FolderListings& listings)
        : m_options(options), m_observer(observer), m_summary(summary),
          m_stopRequested(stopRequested),
          m_listings(listings), m_context{*options.database, options.quarantineFolder,
                                          options.cache, options.extra},
          m_pipeline(
              workerCount(options.threads),
              [this](const WalkedFile& file, platform::ReadBuffer& buffer) {
                  FileCheckResult result = CheckFile(file, m_context, buffer);
                  // Reads that wait for the disk one file at a time leave it mostly idle.
                  if (!result.fromCache) {
                      m_pipeline.noteRead(buffer.waitedForDisk());
                  }
                  return result;
              },
              [this](const WalkedFile& file) { return PrefetchFile(file, m_context); }) {}

    /// Hands a file met by the counting pass to the workers, up to the files they may check ahead.
    void checkAhead(WalkedFile file) {
        if (!m_checkingAhead) {
            return;
        }
        // Without a number from the listing the scanning pass could not tell it is the same file.
        if (file.listedId == 0) {
            stopCheckingAhead();
            return;
        }
        m_ahead.push_back(AheadFile{file.node, file.name, file.listedId});
        startRoundFor(file);
        if (m_pipeline.push(std::move(file)) >= kCheckAhead) {
            stopCheckingAhead();
        }
    }

    /// Ends the counting pass's hand-over; the workers start on what they have.
    void stopCheckingAhead() {
        m_checkingAhead = false;
        m_pipeline.flush();
    }

    /// Checks every target in order; true when a stop cut the pass short.
    bool run(const std::vector<ScanTarget>& targets) {
        for (const ScanTarget& target : targets) {
            m_stopped = m_stopped || m_stopRequested();
            if (m_stopped) {
                break;
            }
            switch (target.kind) {
            case ScanTarget::Kind::Folder:
                walkFolder(target);
                break;
            case ScanTarget::Kind::File:
                checkNamedFile(target.path);
                break;
            case ScanTarget::Kind::Stream:
                checkStream(target);
                break;
            }
        }
        drain();
        return m_stopped || m_stopRequested();
    }

private:
    void walkFolder(const ScanTarget& target) {
        // Counted here, where its files would have been checked: the counting pass meets the
        // same folders.
        const auto folderUnreadable = [this](const std::string& folder, std::error_code error) {
            ++m_summary.counts.unreadableFolders;
            m_observer.folderUnreadable(ScanPass::Scanning, folder, error);
        };
        // The files' lengths come from the checks, which open them anyway.
        FolderWalk walk(target.path, false, m_stopRequested, folderUnreadable,
                        beforeFolderOf(m_options, ScanPass::Scanning), &m_options.exclusions);
        walk.passOver(target.passOver);
        walk.shareListings(m_listings, FolderWalk::ListingsRole::Reuse);
        WalkedFile file;
        while (!m_stopped && walk.next(file)) {
            push(std::move(file));
        }
    }

    void checkNamedFile(const std::string& path) {
        WalkedFile file;
        if (const auto ec = openNamedFile(path, file)) {
            // Nothing to hand to the workers: the files before it are shown first.
            drain();
            FileCheckResult result;
            result.unreadable = ec.message();
            if (!m_stopped) {
                handle(file, result);
            }
            return;
        }
        push(std::move(file));
    }

    void checkStream(const ScanTarget& target) {
        drain();
        if (m_stopped) {
            return;
        }
        const FileCheckResult result =
            CheckStream(target.fd, target.path, m_context, m_stopRequested, m_stopped);
        if (!m_stopped) {
            WalkedFile file;
            file.name = target.path;
            handle(file, result);
        }
    }

    void startRoundFor(WalkedFile& file) {
        // The database is looked at once per folder instead of before every lookup.
        if (file.node != m_roundFolder) {
            m_roundFolder = file.node;
            m_databaseRound = m_context.database.startRound();
        }
        file.databaseRound = m_databaseRound;
    }

    bool isNextAhead(const WalkedFile& file) {
        const AheadFile& ahead = m_ahead.front();
        if (ahead.listedId != file.listedId || ahead.name != file.name) {
            return false;
        }
        if (ahead.node != m_sameAhead.first || file.node != m_sameAhead.second) {
            if (!SameFolder(*ahead.node, *file.node)) {
                return false;
            }
            m_sameAhead = {ahead.node, file.node};
        }
        return true;
    }

    /// The files checked ahead that this walk did not meet in order: their results are dropped.
    void dropAhead() {
        m_met.insert(m_met.end(), m_ahead.size(), std::nullopt);
        m_ahead.clear();
    }

    void push(WalkedFile file) {
        startRoundFor(file);
        if (!m_ahead.empty()) {
            if (isNextAhead(file)) {
                m_met.emplace_back(file.databaseRound);
                m_ahead.pop_front();
                return;
            }
            dropAhead();
        }
        if (m_pipeline.push(std::move(file)) < kCheckAhead) {
            return;
        }
        while (!m_stopped && m_pipeline.pending() >= kCheckAhead) {
            handleOldest();
        }
    }

    /// Shows every file checked ahead, up to a stop.
    void drain() {
        dropAhead();
        m_pipeline.flush();
        while (!m_stopped && m_pipeline.pending() > 0) {
            handleOldest();
        }
    }

    void handleOldest() {
        m_stopped = m_stopRequested();
        if (m_stopped) {
            return;
        }
        auto [file, result] = m_pipeline.pop();
        if (!m_met.empty()) {
            const std::optional<std::uint64_t> round = m_met.front();
            m_met.pop_front();
            if (!round) {
                return;
            }
            // Checked during the counting pass: a lookup in a database that changed since then is
            // made again, as this pass would make it now.
            file.databaseRound = *round;
            if (!databaseUnchanged(result, *round)) {
                result = CheckFile(file, m_context, m_recheckBuffer);
            }
        }
        handle(file, result);
    }

    bool databaseUnchanged(const FileCheckResult& result, std::uint64_t round) const {
        if (!result.databaseVersion) {
            return true; // nothing was looked up
        }
        try {
            return *result.databaseVersion == m_context.database.version(round);
        } catch (const DatabaseError&) {
            return false;
        }
    }

    /// Lists the file's row, if any, and reports the progress, as the walk reaches the file.
    void handle(const WalkedFile& file, const CheckPipeline::Result& result) {
        if (m_wantsFileStatus) {
            m_observer.fileStarted(
                ScanTexts::FileDisplay(DisplayName(file.folder), DisplayName(file.name)));
        }
        ScanCounts& counts = m_summary.counts;
        if (!result.unreadable.empty()) {
            ++counts.unreadable;
            m_observer.fileUnreadable(file.folder + file.name, result.unreadable);
        }
        if (result.fromCache) {
            ++counts.cached;
        }
        if (!result.lookupFailure.empty()) {
            if (counts.lookupFailed++ == 0) {
                m_summary.lookupFailure = result.lookupFailure;
            }
            m_observer.lookupFailed(file.folder + file.name, result.lookupFailure);
        }
        if (const auto& row = result.row) {
            m_summary.detections.push_back(*row);
            // A stream has no file that a process could run from, and a file whose first bytes
            // are no executable image has no process either: the process list is not read then.
            if (m_options.endProcesses && row->folder && result.mayBeRunning) {
                if (m_options.endRunningProcess) {
                    m_options.endRunningProcess(row->location);
                } else {
                    EndRunningProcess(row->location);
                }
            }
            counts.detections = m_summary.detections.size();
            m_observer.detectionListed(*row, counts.detections);
        }
        ++counts.checked;
        ScanProgress progress;
        progress.checked = counts.checked;
        const auto percent = ScanTexts::Percent(counts.total, counts.checked);
        if (percent && *percent <= 100) {
            progress.percent = percent;
            progress.percentText = ScanTexts::PercentText(*percent);
        }
        m_observer.fileChecked(progress);
    }

    const ScanOptions& m_options;
    ScanObserver& m_observer;
    ScanSummary& m_summary;
    const std::function<bool()>& m_stopRequested;
    FolderListings& m_listings; // what the counting pass listed
    const FileCheckContext m_context;
    const bool m_wantsFileStatus = m_observer.wantsFileStatus();
    bool m_stopped = false;
    std::shared_ptr<const WalkedFolder> m_roundFolder; // the folder of the database round
    std::uint64_t m_databaseRound = 0;
    /// A file the counting pass handed to the workers, as its walk met it.
    struct AheadFile {
        std::shared_ptr<const WalkedFolder> node;
        std::string name;
        std::uint64_t listedId = 0;
    };
    bool m_checkingAhead = true;
    std::deque<AheadFile> m_ahead; // handed ahead, not yet met by this pass's walk
    /// For each file handed ahead, in order, once this pass's walk decided on it: the database
    /// round in which the walk met it, or empty when the walk did not meet it there.
    std::deque<std::optional<std::uint64_t>> m_met;
    /// The last two folders found to be the same, one from each walk.
    std::pair<std::shared_ptr<const WalkedFolder>, std::shared_ptr<const WalkedFolder>> m_sameAhead;
    platform::ReadBuffer m_recheckBuffer;
    CheckPipeline m_pipeline;
};

} // namespace

ScanSummary RunScan(const ScanOptions& options, ScanObserver& observer,
                    const std::function<bool()>& stopRequested) {
    const std::vector<ScanTarget> targets =
        options.targets.empty()
            ? std::vector<ScanTarget>{ScanTarget{ScanTarget::Kind::Folder, options.root}}
            : options.targets;
    ScanSummary summary;
    ScanCounts& counts = summary.counts;
    // The scanning pass walks the folders of the counting pass again; folders that have not
    // changed since need not be listed twice.
    const std::int64_t started = options.clock ? options.clock() : FolderListings::Now();
    FolderListings listings(started);
    if (options.cache != nullptr) {
        options.cache->beginScan(started);
    }
    // Made first, so that its workers check the files the counting pass meets while it counts.
    ScanningPass pass(options, observer, summary, stopRequested, listings);

    observer.passStarted(ScanPass::Counting);
    for (const ScanTarget& target : targets) {
        if (stopRequested()) {
            break;
        }
        if (target.kind != ScanTarget::Kind::Folder) {
            ++counts.total;
            // The scanning pass checks it in its place, after the files handed over so far.
            pass.stopCheckingAhead();
            continue;
        }
        FolderWalk walk(
            target.path, false, stopRequested,
            [&observer](const std::string& folder, std::error_code error) {
                observer.folderUnreadable(ScanPass::Counting, folder, error);
            },
            beforeFolderOf(options, ScanPass::Counting), &options.exclusions);
        walk.passOver(target.passOver);
        walk.shareListings(listings, FolderWalk::ListingsRole::Keep);
        WalkedFile file;
        while (walk.next(file)) {
            ++counts.total;
            pass.checkAhead(std::move(file));
        }
    }
    pass.stopCheckingAhead();
    // A pass that ends while a stop is requested was cut short by it.
    bool stopped = stopRequested();
    observer.totalCounted(counts.total);

    observer.passStarted(ScanPass::Scanning);
    if (!stopped) {
        stopped = pass.run(targets);
    }
    counts.detections = summary.detections.size();
    if (options.cache != nullptr) {
        options.cache->endScan(counts.checked, counts.cached);
    }
    summary.completion = ScanTexts::CompletionFor(counts.detections, stopped);
    ScanTexts::AddUncheckedNote(
        summary.completion, ScanTexts::UncheckedNote(counts.unreadable, counts.unreadableFolders,
                                                     counts.lookupFailed, summary.lookupFailure));
    observer.finished(summary);
    return summary;
}
