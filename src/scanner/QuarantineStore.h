#pragma once

#include "platform/FileFacts.h"
#include "platform/FolderHandle.h"
#include "scanner/QuarantineRecord.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

/// One file in the quarantine folder, or a record whose file is gone.
struct QuarantineItem {
    std::string name; ///< the quarantined file's name there, "NAME_vir"
    std::optional<QuarantineRecord> record;
    bool fileMissing = false;
    bool recordPresent = false; ///< a record file is there, sound or not
    /// Empty when file and record are both there and sound; else "no record",
    /// "damaged record: ...", "quarantined file missing" or a reason the record is not read.
    std::string problem;
};

/// What a restore or a delete did, in words for the user.
struct QuarantineOutcome {
    bool done = false;
    std::string message;    ///< "restored 'NAME' to '/path/file'", or why nothing was done
    std::string restoredTo; ///< the path the file was put back at
};

/// The texts a list shows for one item: original location, threat, size, date.
struct QuarantineRowTexts {
    std::string location;
    std::string threat;
    std::string size;
    std::string date;
};

/// Seams for tests: called at fixed points of an operation.
struct QuarantineStoreHooks {
    /// A restore has made its new file and is about to copy the content into it.
    std::function<void()> duringCopy;
};

/// The quarantine folder: what is in it, and undoing a quarantine. Every file is reached relative
/// to the folder's descriptor without following links; a restore walks to its target folder from
/// "/" one name at a time and never follows a link on the way, never replaces a file, and puts
/// back only the file the record describes (same length and SHA-256).
class QuarantineStore {
public:
    explicit QuarantineStore(std::string folder) : m_folder(std::move(folder)) {}

    const std::string& folder() const { return m_folder; }

    /// Every quarantined file ("..._vir") and every record, by name in byte order. A folder that
    /// does not exist yet lists nothing and is no error. What a restore to a record's location
    /// left when it was stopped halfway is removed.
    std::error_code list(std::vector<QuarantineItem>& items) const;

    /// Puts the quarantined file `name` back where it came from, or into `toFolder` under its
    /// original name, with its original mode (and owner, when running as root); then removes it
    /// and its record from the quarantine. The content is copied into a new file under a
    /// temporary name, checked against the record and only then given its name. A file without
    /// a record goes back only with `toFolder`, named without "_vir", and keeps its mode.
    QuarantineOutcome restore(const std::string& name,
                              const std::optional<std::string>& toFolder) const;

    /// Removes the quarantined file `name` and its record.
    QuarantineOutcome remove(const std::string& name) const;

    static QuarantineStoreHooks& testHooks();

private:
    /// Opens the quarantine folder for an action on `name`; the refusal when that fails or
    /// `name` is not a quarantined file's name.
    std::optional<QuarantineOutcome> openFor(const std::string& name,
                                             platform::FolderHandle& folder) const;

    std::string m_folder;
};

/// Why the open quarantine folder at `path` cannot be trusted with quarantined files (it belongs
/// to a user other than the running one or root, or others may change it), empty when it can.
std::string QuarantineFolderProblem(const platform::FolderHandle& folder, const std::string& path);
/// The same for the folder at `path`; a folder that cannot be opened has none here (one that does
/// not exist yet is made for this user alone when the first file goes there).
std::string QuarantineFolderProblem(const std::string& path);

/// Describes a file just moved into the quarantine folder: takes away its execute, set-id and
/// sticky bits and writes its record beside it. `original` are the file's facts before it was
/// moved. Returns what could not be done, empty when all went well.
std::string SealQuarantinedFile(const platform::FolderHandle& quarantine, const std::string& name,
                                const std::string& location, const std::string& threat,
                                const platform::FileFacts& original);

/// The bits a quarantined file loses.
inline constexpr std::uint32_t kQuarantineStrippedBits = 07111;

/// The list texts of `item`; locations and threats are shown as `DisplayName` shows names.
QuarantineRowTexts QuarantineRow(const QuarantineItem& item);

/// Texts of the quarantine window.
namespace QuarantineTexts {
inline constexpr const char* kTitle = "Kesto -> Quarantine";
inline constexpr const char* kRestoreTitle = "Restore";
inline constexpr const char* kDeleteTitle = "Delete";
inline constexpr const char* kChooseFolderTitle = "Restore to which folder?";
/// "Delete 'NAME' for good? It cannot be restored afterwards."
std::string DeleteQuestion(const std::string& name);
/// "N file(s) in quarantine ('FOLDER')".
std::string CountLine(std::size_t count, const std::string& folder);
} // namespace QuarantineTexts
