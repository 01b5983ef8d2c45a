#pragma once

#include "scanner/DetectionList.h"
#include "scanner/FolderWalk.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// The two actions on all listed detections.
inline constexpr std::string_view kActionDelete = "hapus";
inline constexpr std::string_view kActionQuarantine = "karantina";

/// Name of the quarantine folder in the user's home folder.
inline constexpr std::string_view kQuarantineName = "Karantina";

/// Where the action reports its progress; the main window and the command line implement it.
class ActionObserver {
public:
    virtual ~ActionObserver() = default;
    /// An entry's file was handled and the entry removed from the list (its position counted
    /// from 1).
    virtual void entryRemoved(std::size_t position) { (void)position; }
    /// An entry's file could not be handled; the entry stays in the list, its information now
    /// telling why.
    virtual void entryKept(std::size_t position, const DetectionEntry& entry,
                           const std::string& reason) {
        (void)position;
        (void)entry;
        (void)reason;
    }
    /// Percentage after each entry, with its "N % Complete..." text.
    virtual void progressChanged(int percent, const std::string& text) {
        (void)percent;
        (void)text;
    }
};

/// What happened to one entry's file.
struct ActionOutcome {
    std::string location;
    bool done = false;  ///< removed, or moved into the quarantine folder
    std::string target; ///< the quarantine name it was moved to
    std::string reason; ///< why it was not, when it was not
    /// For a quarantined file: what could not be done beside the move (taking away its execute
    /// permission, writing its record); the file stays quarantined all the same.
    std::string note;
};

/// What the action ends with: the status line and the message box that repeats it.
struct ActionResult {
    std::size_t handled = 0;             ///< files removed or moved
    std::size_t failed = 0;              ///< files that could not be, whose entries stay listed
    std::vector<ActionOutcome> outcomes; ///< in the order the entries were taken
    std::string status;
    std::string message;      ///< the message box text: the status, then what failed
    std::string messageTitle; ///< "No Selected", "Success", or "Not Complete" when a file failed
    int messageStyle = 64;    ///< information icon (exclamation when a file failed), OK button
};

struct ActionOptions {
    /// The quarantine folder, without its final separator.
    std::string quarantineFolder;
    /// Examines a listed file again whose length or time changed since the scan; true when it
    /// would still be listed. Without it such a file is left alone.
    std::function<bool(const WalkedFile& file)> stillListed;
    /// Called once a listed file has been reached and found to be the file that was checked, just
    /// before it is taken out of its folder to be removed or moved (a seam for tests).
    std::function<void(const DetectionEntry& entry)> beforeAct;
};

class ExtraSignatures;
class SignatureDatabase;

/// Options whose changed files are examined again with `database` and `extra` (none: the shipped
/// signatures alone), which must outlive them.
ActionOptions ActionOptionsFor(const SignatureDatabase& database,
                               const std::string& quarantineFolder,
                               const ExtraSignatures* extra = nullptr);

/// Deletes ("hapus") or quarantines ("karantina") every listed file, last entry first. Each file
/// is reached again from the scan root folder by folder without following links, and only the
/// file that was checked is acted on: when a folder on the way or the file itself is no longer the
/// one the scan saw, the file is left alone ("changed since the scan"). Each file's running
/// processes are ended; the file is taken out of its folder's reach and checked once more
/// (platform::HeldFile), made normal, then deleted, or moved flat into the quarantine folder
/// as NAME_vir ("NAME (2)_vir", ... when that name is taken; nothing there is ever replaced).
/// Entries whose files were handled leave `list`; the others stay with the reason as their
/// information. The caller resets the checked count and shows the list's size as the detection
/// count.
ActionResult tindakan(std::string_view aksi, DetectionList& list, const ActionOptions& options,
                      ActionObserver& observer);
