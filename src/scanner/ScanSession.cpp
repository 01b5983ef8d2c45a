#include "scanner/ScanSession.h"

#include "scanner/CheckPipeline.h"
#include "scanner/FileCheck.h"
#include "scanner/FolderWalk.h"
#include "scanner/ProcessTable.h"

#include <thread>

namespace {

// How many files the workers may check ahead of the walk's observable position.
constexpr std::size_t kCheckAhead = 256;

class ScanningPass {
public:
    ScanningPass(const ScanOptions& options, ScanObserver& observer, ScanSummary& summary)
        : m_options(options), m_observer(observer), m_summary(summary) {}

    /// Lists the file's row, if any, and reports the progress, as the walk reaches the file.
    void handle(const WalkedFile& file, const CheckPipeline::Result& result) {
        m_observer.fileStarted(ScanTexts::FileDisplay(file.folder, file.name));
        ScanCounts& counts = m_summary.counts;
        if (!result.unreadable.empty()) {
            ++counts.unreadable;
            m_observer.fileUnreadable(file.folder + file.name, result.unreadable);
        }
        if (!result.lookupFailure.empty()) {
            if (counts.lookupFailed++ == 0) {
                m_summary.lookupFailure = result.lookupFailure;
            }
            m_observer.lookupFailed(file.folder + file.name, result.lookupFailure);
        }
        if (const auto& row = result.row) {
            m_summary.detections.push_back(*row);
            if (m_options.endProcesses) {
                EndRunningProcess(row->location);
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

private:
    const ScanOptions& m_options;
    ScanObserver& m_observer;
    ScanSummary& m_summary;
};

unsigned workerCount(unsigned requested) {
    if (requested != 0) {
        return requested;
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace

ScanSummary RunScan(const ScanOptions& options, ScanObserver& observer,
                    const std::function<bool()>& stopRequested) {
    ScanSummary summary;
    ScanCounts& counts = summary.counts;
    const auto reporter = [&observer](ScanPass pass) {
        return [&observer, pass](const std::string& folder, std::error_code error) {
            observer.folderUnreadable(pass, folder, error);
        };
    };
    const auto beforeFolder = [&options](ScanPass pass) -> FolderWalk::BeforeFolder {
        if (!options.beforeFolder) {
            return {};
        }
        return [&options, pass](const std::string& folder) { options.beforeFolder(pass, folder); };
    };

    // A pass that ends while a stop is requested was cut short by it.
    bool stopped = false;
    observer.passStarted(ScanPass::Counting);
    {
        FolderWalk walk(options.root, false, stopRequested, reporter(ScanPass::Counting),
                        beforeFolder(ScanPass::Counting));
        WalkedFile file;
        while (walk.next(file)) {
            ++counts.total;
        }
        stopped = stopRequested();
    }
    observer.totalCounted(counts.total);

    observer.passStarted(ScanPass::Scanning);
    {
        const FileCheckContext context{*options.database, options.quarantineFolder};
        CheckPipeline pipeline(workerCount(options.threads),
                               [&context](const WalkedFile& file, platform::ReadBuffer& buffer) {
                                   return CheckFile(file, context, buffer);
                               });
        ScanningPass pass(options, observer, summary);
        FolderWalk walk(options.root, true, stopRequested, reporter(ScanPass::Scanning),
                        beforeFolder(ScanPass::Scanning));
        const auto handleOldest = [&] {
            if (stopRequested()) {
                return false;
            }
            const auto [file, result] = pipeline.pop();
            pass.handle(file, result);
            return true;
        };
        WalkedFile file;
        while (!stopped && walk.next(file)) {
            pipeline.push(std::move(file));
            while (!stopped && pipeline.pending() >= kCheckAhead) {
                stopped = !handleOldest();
            }
        }
        pipeline.flush();
        while (!stopped && pipeline.pending() > 0) {
            stopped = !handleOldest();
        }
        stopped = stopped || stopRequested();
    }
    counts.detections = summary.detections.size();
    summary.completion = ScanTexts::CompletionFor(counts.detections, stopped);
    ScanTexts::AddUncheckedNote(
        summary.completion,
        ScanTexts::UncheckedNote(counts.unreadable, counts.lookupFailed, summary.lookupFailure));
    observer.finished(summary);
    return summary;
}
