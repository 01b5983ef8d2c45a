#include "guard/WrittenFileAction.h"

#include "platform/FolderHandle.h"
#include "scanner/DetectionActions.h"

#include <memory>

GuardActionResult QuarantineWrittenFile(const SignatureDatabase& database,
                                        const std::string& quarantineFolder,
                                        const std::string& path, const platform::FileStamp& stamp,
                                        const OpenFileVerdict& verdict,
                                        const ExtraSignatures* extra) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) {
        return {false, "no folder in its path"};
    }
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    platform::FolderHandle handle;
    if (const std::error_code error = handle.openPath(folder)) {
        return {false, "cannot open its folder: " + error.message()};
    }
    DetectionEntry entry;
    entry.name = verdict.threat;
    entry.location = path;
    entry.size = std::to_string(stamp.size);
    entry.information = verdict.information;
    entry.folder = std::make_shared<WalkedFolder>(nullptr, folder, handle.id());
    entry.fileName = path.substr(slash + 1);
    entry.stamp = stamp;
    DetectionList list{std::move(entry)};
    ActionObserver quiet;
    const ActionResult result = tindakan(
        kActionQuarantine, list, ActionOptionsFor(database, quarantineFolder, extra), quiet);
    if (result.outcomes.empty()) {
        return {false, "nothing was done"};
    }
    const ActionOutcome& outcome = result.outcomes.front();
    return {outcome.done, outcome.done ? outcome.note : outcome.reason};
}
