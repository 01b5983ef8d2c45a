#include "scanner/QuarantineStore.h"

#include "engine/clsCRC.h"
#include "platform/AtomicFile.h"
#include "platform/Digest.h"
#include "platform/FileOps.h"
#include "platform/InputFile.h"
#include "platform/NewFile.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "scanner/DisplayName.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <map>

namespace {

/// What identifies a file's content: its length, checksum text and SHA-256.
struct ContentDigest {
    platform::FileStamp stamp;
    std::string checksum;
    std::string sha256;
};

std::error_code digestOf(const platform::FolderHandle& folder, const std::string& name,
                         ContentDigest& digest) {
    platform::InputFile file;
    if (const auto ec = file.openAt(folder.fd(), name)) {
        return ec;
    }
    platform::Sha256 sha256;
    if (!sha256.ready()) {
        return std::make_error_code(std::errc::not_supported);
    }
    clsCRC crc;
    std::uint64_t length = 0;
    std::array<char, 64 * 1024> buffer{};
    for (;;) {
        std::error_code ec;
        const std::size_t got = file.read(buffer.data(), buffer.size(), ec);
        if (ec) {
            return ec;
        }
        if (got == 0) {
            break;
        }
        length += got;
        crc.AddBytes({buffer.data(), got});
        sha256.update({buffer.data(), got});
    }
    digest.stamp = file.stamp();
    digest.stamp.size = length;
    // An empty file has no checksum; its text is "0", as the scan looks it up.
    digest.checksum = ChecksumText(length > 0 ? CrcResult(crc.Value()) : CrcResult());
    digest.sha256 = sha256.hexDigest();
    return {};
}

std::string inQuotes(std::string_view text) {
    return "'" + DisplayName(text) + "'";
}

/// Whether only the running user or root can change a file or folder with these facts.
bool isTrustedOwnerAndMode(const platform::FileFacts& facts) {
    return (facts.uid == platform::effectiveUser() || facts.uid == 0) && (facts.mode & 022) == 0;
}

bool isQuarantinedName(const std::string& name) {
    return platform::lastPathSeparator(name) == std::string::npos &&
           name.find('\0') == std::string::npos && !RecordNameFor(name).empty();
}

/// Reads the record `recordName` once, through one descriptor that is also the one checked. A
/// record must belong to the user running the program (or to root) and be writable by nobody
/// else: a restore gives its file back the mode and, as root, the owner the record names.
std::optional<QuarantineRecord> readRecord(const platform::FolderHandle& folder,
                                           const std::string& recordName, bool& present,
                                           std::string& problem) {
    present = false;
    std::string text;
    platform::FileFacts facts;
    if (const auto ec = platform::readFileAt(folder, recordName, kRecordSizeLimit, text, facts)) {
        if (ec == std::errc::no_such_file_or_directory) {
            problem = "no record";
            return std::nullopt;
        }
        present = true;
        problem = "record unreadable: " + ec.message();
        return std::nullopt;
    }
    present = true;
    if (!isTrustedOwnerAndMode(facts)) {
        problem = "record not trusted: it belongs to another user or others may change it";
        return std::nullopt;
    }
    std::string damage;
    auto record = ParseRecord(text, damage);
    if (!record) {
        problem = "damaged record: " + damage;
    }
    return record;
}

/// The name a restore writes its new file under before it takes the file's own name. It is the
/// same for every restore of one quarantined file, so that a restore that was stopped halfway
/// leaves a file the next one finds.
std::string restoreTemporaryName(const std::string& quarantinedName) {
    // Room for the dot and the ending within the longest name a file system takes.
    constexpr std::size_t kKept = 200;
    return "." + quarantinedName.substr(0, kKept) + ".kesto-restore";
}

/// The folder a record's file goes back to and its name there; `toFolder` replaces the folder.
void restoreTarget(const std::optional<QuarantineRecord>& record, const std::string& name,
                   const std::optional<std::string>& toFolder, std::string& folder,
                   std::string& fileName) {
    if (toFolder) {
        folder = platform::absolutePath(*toFolder);
    }
    if (!record) {
        fileName = name.substr(0, name.size() - 4);
        return;
    }
    // A record's location is absolute: it has a root and a separator after it.
    const std::size_t slash = platform::lastPathSeparator(record->location);
    fileName = record->location.substr(slash + 1);
    if (!toFolder) {
        folder =
            record->location.substr(0, std::max(slash, platform::pathRootLength(record->location)));
    }
}

/// Copies `source` to `fresh`, hashing what was written.
std::error_code copyHashing(platform::InputFile& source, platform::NewFile& fresh,
                            std::uint64_t& length, std::string& sha256Text) {
    platform::Sha256 sha256;
    if (!sha256.ready()) {
        return std::make_error_code(std::errc::not_supported);
    }
    length = 0;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        std::error_code ec;
        const std::size_t got = source.read(buffer.data(), buffer.size(), ec);
        if (ec) {
            return ec;
        }
        if (got == 0) {
            break;
        }
        if (const auto written = fresh.write(buffer.data(), got)) {
            return written;
        }
        length += got;
        sha256.update({buffer.data(), got});
    }
    sha256Text = sha256.hexDigest();
    return {};
}

std::string folderProblem(const std::error_code& ec, const std::string& path) {
    if (ec == std::errc::no_such_file_or_directory) {
        return "the folder " + inQuotes(path) + " does not exist";
    }
    if (ec == std::errc::too_many_symbolic_link_levels) {
        return inQuotes(path) + " is a symbolic link; a restore never follows links";
    }
    if (ec == std::errc::not_a_directory) {
        return inQuotes(path) + " is not a folder";
    }
    return "cannot open the folder " + inQuotes(path) + ": " + ec.message();
}

std::string joined(const std::string& folder, const std::string& name) {
    // A root ("/", "C:\") ends with its separator already.
    const bool root = !folder.empty() && folder.size() == platform::pathRootLength(folder);
    return root ? folder + name : folder + platform::kPathSeparator + name;
}

/// Removes what a restore of `name` to its record's location left when it was stopped halfway.
void removeStaleRestore(const QuarantineRecord& record, const std::string& name) {
    std::string folderPath;
    std::string fileName;
    restoreTarget(record, name, std::nullopt, folderPath, fileName);
    platform::FolderHandle folder;
    std::string failedAt;
    if (!platform::openFolderWithoutLinks(folderPath, folder, failedAt)) {
        platform::NewFile::removeStale(folder, restoreTemporaryName(name));
    }
}

QuarantineOutcome refused(std::string message) {
    return {false, std::move(message), {}};
}

} // namespace

std::error_code QuarantineStore::list(std::vector<QuarantineItem>& items) const {
    items.clear();
    platform::FolderHandle folder;
    if (const auto ec = folder.openPath(m_folder)) {
        return ec == std::errc::no_such_file_or_directory ? std::error_code() : ec;
    }
    std::vector<platform::FolderEntry> entries;
    if (const auto ec = folder.list(false, entries)) {
        return ec;
    }
    std::map<std::string, QuarantineItem> byName;
    for (const platform::FolderEntry& entry : entries) {
        if (entry.kind != platform::FolderEntry::Kind::RegularFile) {
            continue;
        }
        if (isQuarantinedName(entry.name)) {
            QuarantineItem& item = byName[entry.name];
            item.name = entry.name;
            item.fileMissing = false;
        } else if (const std::string owner = QuarantinedNameFor(entry.name); !owner.empty()) {
            QuarantineItem& item = byName[owner];
            if (item.name.empty()) {
                item.name = owner;
                item.fileMissing = true;
            }
        }
    }
    const bool trusted = QuarantineFolderProblem(folder, m_folder).empty();
    for (auto& [name, item] : byName) {
        item.record = readRecord(folder, RecordNameFor(name), item.recordPresent, item.problem);
        if (item.fileMissing) {
            item.problem = "quarantined file missing";
        }
        if (trusted && item.record) {
            removeStaleRestore(*item.record, name);
        }
        items.push_back(std::move(item));
    }
    return {};
}

std::optional<QuarantineOutcome> QuarantineStore::openFor(const std::string& name,
                                                          platform::FolderHandle& folder) const {
    if (!isQuarantinedName(name)) {
        return refused(inQuotes(name) + " is not the name of a quarantined file (NAME_vir)");
    }
    if (const auto ec = folder.openPath(m_folder)) {
        return refused("cannot open the quarantine folder " + inQuotes(m_folder) + ": " +
                       ec.message());
    }
    if (std::string problem = QuarantineFolderProblem(folder, m_folder); !problem.empty()) {
        return refused(std::move(problem));
    }
    return std::nullopt;
}

QuarantineOutcome QuarantineStore::restore(const std::string& name,
                                           const std::optional<std::string>& toFolder) const {
    platform::FolderHandle folder;
    if (auto problem = openFor(name, folder)) {
        return std::move(*problem);
    }
    // The quarantined file is opened once; everything it gives back is read from that
    // descriptor, whatever takes its name meanwhile.
    platform::InputFile source;
    platform::FileFacts quarantined;
    std::error_code opened = source.openAt(folder.fd(), name);
    if (!opened) {
        opened = platform::factsOfOpenFile(source, quarantined);
    }
    if (opened) {
        return refused(opened == std::errc::no_such_file_or_directory
                           ? inQuotes(name) + " is not in the quarantine folder"
                           : "cannot restore " + inQuotes(name) + ": " + opened.message());
    }
    const std::string recordName = RecordNameFor(name);
    bool recordPresent = false;
    std::string recordProblem;
    const auto record = readRecord(folder, recordName, recordPresent, recordProblem);
    if (recordPresent && !record) {
        return refused("cannot restore " + inQuotes(name) + ": " + recordProblem);
    }
    if (!record && !toFolder) {
        return refused(inQuotes(name) +
                       " has no record of where it came from; give a folder to restore it to");
    }
    if (record && quarantined.size != record->size) {
        return refused(inQuotes(name) +
                       " is not the file its record describes; it stays in quarantine");
    }

    std::string targetFolder;
    std::string targetName;
    restoreTarget(record, name, toFolder, targetFolder, targetName);
    const std::string targetPath = joined(targetFolder, targetName);
    platform::FolderHandle target;
    std::string failedAt;
    if (const auto ec = platform::openFolderWithoutLinks(targetFolder, target, failedAt)) {
        return refused("cannot restore " + inQuotes(name) + ": " + folderProblem(ec, failedAt));
    }
    platform::FileFacts occupant;
    if (const auto ec = platform::factsOf(target, targetName, occupant);
        !ec || ec == platform::FileError::NotRegularFile) {
        return refused("cannot restore " + inQuotes(name) + ": " + inQuotes(targetPath) +
                       " already exists");
    } else if (ec != std::errc::no_such_file_or_directory) {
        return refused("cannot restore " + inQuotes(name) + " to " + inQuotes(targetPath) + ": " +
                       ec.message());
    }

    // A new file takes the content: no inode that another user could hold open ever becomes the
    // restored file, and what was written is checked before it gets its name.
    platform::NewFile fresh;
    if (const auto ec = fresh.create(target, restoreTemporaryName(name))) {
        return refused("cannot restore " + inQuotes(name) + " to " + inQuotes(targetPath) + ": " +
                       (ec == std::errc::device_or_resource_busy
                            ? std::string("another restore of it is under way")
                            : ec.message()));
    }
    if (testHooks().duringCopy) {
        testHooks().duringCopy();
    }
    std::uint64_t length = 0;
    std::string sha256;
    if (const auto ec = copyHashing(source, fresh, length, sha256)) {
        return refused("cannot restore " + inQuotes(name) + " to " + inQuotes(targetPath) + ": " +
                       ec.message());
    }
    if (record && (length != record->size || sha256 != record->sha256)) {
        return refused(inQuotes(name) +
                       " is not the file its record describes; it stays in quarantine");
    }
    // With a record the file gets back its mode and, as root, its owner; without one it keeps
    // the mode and owner it has in quarantine.
    const bool asRoot = platform::runningAsRoot();
    const std::uint32_t mode = record ? record->mode : quarantined.mode;
    std::optional<platform::FileOwner> owner;
    if (asRoot) {
        owner = record ? platform::FileOwner{record->uid, record->gid}
                       : platform::FileOwner{quarantined.uid, quarantined.gid};
    }
    if (const auto ec = fresh.finish(mode, owner)) {
        return refused("cannot restore " + inQuotes(name) + " to " + inQuotes(targetPath) + ": " +
                       ec.message());
    }
    if (const auto ec = fresh.place(targetName)) {
        return refused(
            "cannot restore " + inQuotes(name) + ": " +
            (ec == std::errc::file_exists ? inQuotes(targetPath) + " already exists"
             : ec == platform::FileError::Changed
                 ? inQuotes(targetPath) + " was changed by someone else during the restore"
                 : ec.message()));
    }

    QuarantineOutcome outcome{true, "restored " + inQuotes(name) + " to " + inQuotes(targetPath),
                              targetPath};
    source.close();
    if (const auto removed = platform::deleteFile(folder, name)) {
        outcome.message += "; its copy in quarantine could not be removed: " + removed.message();
    }
    if (record) {
        if (const auto removed = platform::deleteFile(folder, recordName)) {
            outcome.message += "; its record could not be removed: " + removed.message();
        }
    }
    return outcome;
}

QuarantineOutcome QuarantineStore::remove(const std::string& name) const {
    platform::FolderHandle folder;
    if (auto problem = openFor(name, folder)) {
        return std::move(*problem);
    }
    platform::FileFacts facts;
    const std::error_code found = platform::factsOf(folder, name, facts);
    const bool fileThere = !found;
    if (found && found != std::errc::no_such_file_or_directory) {
        return refused("cannot delete " + inQuotes(name) + ": " + found.message());
    }
    if (fileThere) {
        if (const auto ec = platform::deleteFile(folder, name)) {
            return refused("cannot delete " + inQuotes(name) + ": " + ec.message());
        }
    }
    const std::error_code recordGone = platform::deleteFile(folder, RecordNameFor(name));
    const bool hadRecord = !recordGone;
    if (recordGone && recordGone != std::errc::no_such_file_or_directory) {
        return {fileThere,
                (fileThere ? "deleted " + inQuotes(name) + ", but " : std::string()) +
                    "its record could not be removed: " + recordGone.message(),
                {}};
    }
    if (!fileThere && !hadRecord) {
        return refused(inQuotes(name) + " is not in the quarantine folder");
    }
    if (!fileThere) {
        return {
            true, "removed the record of " + inQuotes(name) + "; its file was already gone", {}};
    }
    return {true, "deleted " + inQuotes(name) + (hadRecord ? " and its record" : ""), {}};
}

std::string SealQuarantinedFile(const platform::FolderHandle& quarantine, const std::string& name,
                                const std::string& location, const std::string& threat,
                                const platform::FileFacts& original) {
    ContentDigest digest;
    if (const auto ec = digestOf(quarantine, name, digest)) {
        return "quarantined without a record: cannot read it: " + ec.message();
    }
    std::string problems;
    // Owner read stays, so that the owner can still check the file when restoring it.
    const std::uint32_t mode = (original.mode & ~kQuarantineStrippedBits) | 0400;
    const platform::FileId id{digest.stamp.device, digest.stamp.inode};
    if (const auto ec = platform::setModeAndOwner(quarantine, name, id, mode, std::nullopt)) {
        problems = "its execute permission could not be taken away: " + ec.message();
    }
    QuarantineRecord record;
    record.location = location;
    record.threat = threat;
    record.checksum = digest.checksum;
    record.sha256 = digest.sha256;
    record.size = digest.stamp.size;
    record.mode = original.mode;
    record.uid = original.uid;
    record.gid = original.gid;
    record.quarantinedAt = UtcTimeText(std::chrono::duration_cast<std::chrono::seconds>(
                                           std::chrono::system_clock::now().time_since_epoch())
                                           .count());
    record.device = digest.stamp.device;
    record.inode = digest.stamp.inode;
    if (const auto ec =
            platform::replaceFileIn(quarantine, RecordNameFor(name), RecordText(record), 0600)) {
        problems += (problems.empty() ? "" : "; ") + std::string("quarantined without a record: ") +
                    ec.message();
    }
    return problems;
}

std::string QuarantineFolderProblem(const platform::FolderHandle& folder, const std::string& path) {
    platform::FileFacts facts;
    if (const auto ec = platform::folderFacts(folder, facts)) {
        return "cannot check the quarantine folder " + inQuotes(path) + ": " + ec.message();
    }
    if (facts.uid != platform::effectiveUser() && facts.uid != 0) {
        return "the quarantine folder " + inQuotes(path) +
               " is not trusted: it belongs to another user; use a folder of your own";
    }
    if ((facts.mode & 022) != 0) {
#ifdef _WIN32
        const std::string remedy = "on the Security tab of its Properties";
#else
        const std::string remedy = "(chmod go-w " + inQuotes(path) + ")";
#endif
        return "the quarantine folder " + inQuotes(path) +
               " is not trusted: others may change it; take their write permission away " + remedy;
    }
    return {};
}

std::string QuarantineFolderProblem(const std::string& path) {
    platform::FolderHandle folder;
    // A folder that cannot be opened is reported by each move that needs it.
    if (folder.openPath(path)) {
        return {};
    }
    return QuarantineFolderProblem(folder, path);
}

QuarantineStoreHooks& QuarantineStore::testHooks() {
    static QuarantineStoreHooks hooks;
    return hooks;
}

QuarantineRowTexts QuarantineRow(const QuarantineItem& item) {
    QuarantineRowTexts row;
    if (!item.record) {
        row.location = "(" + item.problem + ")";
        return row;
    }
    row.location = DisplayName(item.record->location);
    if (item.fileMissing) {
        row.location += " (" + item.problem + ")";
    }
    row.threat = DisplayName(item.record->threat);
    row.size = std::to_string(item.record->size);
    row.date = item.record->quarantinedAt;
    return row;
}

std::string QuarantineTexts::DeleteQuestion(const std::string& name) {
    return "Delete " + inQuotes(name) + " for good? It cannot be restored afterwards.";
}

std::string QuarantineTexts::CountLine(std::size_t count, const std::string& folder) {
    return std::to_string(count) + " file(s) in quarantine (" + inQuotes(folder) + ")";
}
