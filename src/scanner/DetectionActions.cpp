#include "scanner/DetectionActions.h"

#include "platform/FileFacts.h"
#include "platform/FileOps.h"
#include "platform/HeldFile.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "scanner/FileCheck.h"
#include "scanner/ProcessTable.h"
#include "scanner/QuarantineStore.h"
#include "scanner/ScanTexts.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace {

// Quarantine names tried for one file before the move is given up.
constexpr int kQuarantineNames = 1000;

/// Reaches the listed file's folder again and checks that the file is the one that was checked.
/// `stillListed` decides when only its length or time changed.
std::error_code reachListedFile(const DetectionEntry& entry, const ActionOptions& options,
                                std::shared_ptr<platform::FolderHandle>& folder) {
    if (!entry.folder || entry.fileName.empty()) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    folder = std::make_shared<platform::FolderHandle>();
    if (const auto ec = ReopenFolder(*entry.folder, *folder)) {
        return ec;
    }
    platform::FileStamp now;
    if (const auto ec = folder->statFile(entry.fileName, now)) {
        return ec == platform::FileError::NotRegularFile ? platform::FileError::Changed : ec;
    }
    if (now.device != entry.stamp.device || now.inode != entry.stamp.inode) {
        return platform::FileError::Changed;
    }
    if (now.size != entry.stamp.size || now.modifiedNs != entry.stamp.modifiedNs) {
        WalkedFile file;
        file.folder = entry.location.substr(0, entry.location.size() - entry.fileName.size());
        file.name = entry.fileName;
        file.size = now.size;
        file.node = entry.folder;
        file.handle = folder;
        if (!options.stillListed || !options.stillListed(file)) {
            return platform::FileError::Changed;
        }
    }
    return {};
}

/// The longest name a file system takes, in bytes.
constexpr std::size_t kNameLimit = 255;

/// NAME_vir, or "NAME (N)_vir" from the second attempt on. A name that would be too long is
/// shortened at a character boundary; the record keeps the full location.
std::string quarantineName(const std::string& name, int attempt) {
    const std::string ending = attempt == 1 ? "_vir" : " (" + std::to_string(attempt) + ")_vir";
    std::size_t keep = std::min(name.size(), kNameLimit - ending.size());
    // A UTF-8 character is never cut: at most three continuation bytes are given up with it.
    for (int back = 0; keep < name.size() && keep > 0 && back < 3 &&
                       (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80;
         ++back) {
        --keep;
    }
    return name.substr(0, keep) + ending;
}

/// Moves the held file `name` into the quarantine folder under the first free name.
std::error_code quarantine(platform::HeldFile& held, const std::string& name,
                           const platform::FolderHandle& target, std::string& targetName) {
    std::error_code ec;
    for (int attempt = 1; attempt <= kQuarantineNames; ++attempt) {
        targetName = quarantineName(name, attempt);
        ec = held.moveTo(target, targetName);
        if (ec != std::errc::file_exists) {
            break;
        }
    }
    if (ec) {
        targetName.clear();
    }
    return ec;
}

std::string reasonText(std::error_code ec) {
    if (ec == std::errc::invalid_argument) {
        return "not found by a scan";
    }
    return ec.message();
}

} // namespace

ActionOptions ActionOptionsFor(const SignatureDatabase& database,
                               const std::string& quarantineFolder, const ExtraSignatures* extra) {
    ActionOptions options;
    options.quarantineFolder = quarantineFolder;
    options.stillListed = [&database, quarantineFolder, extra](const WalkedFile& file) {
        platform::ReadBuffer buffer;
        return CheckFile(file, FileCheckContext{database, quarantineFolder, nullptr, extra}, buffer)
            .row.has_value();
    };
    return options;
}

ActionResult tindakan(std::string_view aksi, DetectionList& list, const ActionOptions& options,
                      ActionObserver& observer) {
    const bool toQuarantine = aksi == kActionQuarantine;
    if (!toQuarantine && aksi != kActionDelete) {
        throw std::invalid_argument("unknown action: " + std::string(aksi));
    }
    ActionResult result;
    const std::size_t count = list.size();
    if (count == 0) {
        result.status = toQuarantine ? "There are no viruses are quaranted..."
                                     : "There is no virus that deleted...";
        result.message = result.status;
        result.messageTitle = "No Selected";
        return result;
    }

    const std::string& quarantineFolder = options.quarantineFolder;
    const std::string folderText =
        !quarantineFolder.empty() && platform::isPathSeparator(quarantineFolder.back())
            ? quarantineFolder
            : quarantineFolder + platform::kPathSeparator;
    platform::FolderHandle target;
    std::string targetProblem;
    if (toQuarantine) {
        std::error_code ec = platform::createPrivateFolder(quarantineFolder);
        if (!ec) {
            ec = target.openPath(quarantineFolder);
        }
        if (ec) {
            targetProblem = "quarantine folder '" + folderText + "': " + ec.message();
        } else {
            targetProblem = QuarantineFolderProblem(target, quarantineFolder);
        }
    }

    for (std::size_t k = 1; k <= count; ++k) {
        const std::size_t position = count - k + 1;
        DetectionEntry& entry = list[position - 1];
        ActionOutcome outcome;
        outcome.location = entry.location;
        std::shared_ptr<platform::FolderHandle> folder;
        if (!targetProblem.empty()) {
            outcome.reason = targetProblem;
        } else if (const auto ec = reachListedFile(entry, options, folder)) {
            outcome.reason = reasonText(ec);
        } else {
            EndRunningProcess(entry.location);
            if (options.beforeAct) {
                options.beforeAct(entry);
            }
            // The file is taken out of its folder's reach before it is acted on, and acted on
            // only when what was taken is the file that was checked.
            platform::HeldFile held;
            std::error_code acted =
                held.take(*folder, entry.fileName, {entry.stamp.device, entry.stamp.inode});
            if (!acted) {
                // The record keeps the mode and owner the file had before it was made normal.
                const platform::FileFacts original = held.facts();
                held.makeNormal();
                acted = toQuarantine ? quarantine(held, entry.fileName, target, outcome.target)
                                     : held.remove();
                if (acted) {
                    held.putBack();
                } else if (toQuarantine) {
                    outcome.note = SealQuarantinedFile(target, outcome.target, entry.location,
                                                       entry.name, original);
                }
            }
            outcome.done = !acted;
            outcome.reason = acted ? reasonText(acted) : std::string();
        }
        if (outcome.done) {
            ++result.handled;
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(position - 1));
            observer.entryRemoved(position);
        } else {
            ++result.failed;
            entry.information =
                (toQuarantine ? "Not quarantined: " : "Not removed: ") + outcome.reason;
            observer.entryKept(position, entry, outcome.reason);
        }
        result.outcomes.push_back(std::move(outcome));
        const long long percent = ScanTexts::Percent(count, k).value_or(0);
        observer.progressChanged(static_cast<int>(percent), ScanTexts::PercentText(percent));
    }

    const std::string handled = std::to_string(result.handled);
    result.status = toQuarantine
                        ? handled + " Virus has been removed to a folder '" + folderText + "' ..."
                        : handled + " Virus has been removed...";
    result.message = result.status;
    result.messageTitle = result.failed == 0 ? "Success" : "Not Complete";
    const auto noted =
        std::count_if(result.outcomes.begin(), result.outcomes.end(),
                      [](const ActionOutcome& outcome) { return !outcome.note.empty(); });
    if (noted > 0) {
        result.message += "\n\n" + std::to_string(noted) +
                          " file(s) were quarantined, but not fully recorded: they may keep their "
                          "execute permission or have no record to restore them from.";
    }
    if (result.failed > 0) {
        result.message += "\n\n" + std::to_string(result.failed) +
                          (toQuarantine ? " file(s) could not be moved to the quarantine folder"
                                        : " file(s) could not be removed") +
                          "; the list shows why.";
        result.messageStyle = 48;
    }
    return result;
}
