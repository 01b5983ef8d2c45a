#pragma once

#include "scanner/DetectionList.h"

#include <string>
#include <string_view>

/// The two actions on all listed detections.
inline constexpr std::string_view kActionDelete = "hapus";
inline constexpr std::string_view kActionQuarantine = "karantina";

/// Name of the quarantine folder in the user's home folder.
inline constexpr std::string_view kQuarantineName = "Karantina";

/// Where the action reports its progress; the main window and the command line implement it.
class ActionObserver {
public:
    virtual ~ActionObserver() = default;
    /// An entry was handled and removed from the list (its position counted from 1).
    virtual void entryRemoved(std::size_t position) { (void)position; }
    /// Percentage after each entry, with its "N % Complete..." text.
    virtual void progressChanged(int percent, const std::string& text) {
        (void)percent;
        (void)text;
    }
};

/// What the action ends with: the status line and the message box that repeats it.
struct ActionResult {
    std::size_t handled = 0; ///< entries handled (counted even when a file could not be removed)
    std::string status;
    std::string messageTitle; ///< "No Selected" or "Success"
    int messageStyle = 64;    ///< information icon, OK button
};

/// Deletes ("hapus") or quarantines ("karantina") every listed file, last entry first: ends its
/// running process, makes it normal, deletes it or moves it flat into `quarantineFolder` as
/// NAME_vir (never replacing a file there). Every entry is removed from `list` whether or not its
/// file could be handled; a step that fails is skipped silently. The caller resets the checked and
/// detection counts.
ActionResult tindakan(std::string_view aksi, DetectionList& list,
                      const std::string& quarantineFolder, ActionObserver& observer);
