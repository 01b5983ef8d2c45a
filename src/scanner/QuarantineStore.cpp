#include "scanner/QuarantineStore.h"

#include "engine/clsCRC.h"
#include "platform/AtomicFile.h"
#include "platform/Digest.h"
#include "platform/FileOps.h"
#include "platform/InputFile.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "scanner/PrintableName.h"

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
    return "'" + PrintableName(text) + "'";
}

bool isQuarantinedName(const std::string& name) {
    return platform::lastPathSeparator(name) == std::string::npos &&
           name.find('\0') == std::string::npos && !RecordNameFor(name).empty();
}

/// Reads the record `recordName`. A record must belong to the user running the program (or to
/// root) and be writable by nobody else: a restore gives its file back the mode and, as root, the
/// owner the record names.
std::optional<QuarantineRecord> readRecord(const platform::FolderHandle& folder,
                                           const std::string& recordName, bool& present,
                                           std::string& problem) {
    present = false;
    platform::FileFacts facts;
    if (const auto ec = platform::factsOf(folder, recordName, facts)) {
        if (ec == std::errc::no_such_file_or_directory) {
            problem = "no record";
            return std::nullopt;
        }
        present = true;
        problem = "record unreadable: " + ec.message();
        return std::nullopt;
    }
    present = true;
    if ((facts.uid != platform::effectiveUser() && facts.uid != 0) || (facts.mode & 022) != 0) {
        problem = "record not trusted: it belongs to another user or others may change it";
        return std::nullopt;
    }
    platform::InputFile file;
    std::string text;
    std::error_code ec = file.openAt(folder.fd(), recordName);
    if (!ec) {
        ec = file.readToEnd(text, kRecordSizeLimit);
    }
    if (ec) {
        problem = "record unreadable: " + ec.message();
        return std::nullopt;
    }
    std::string damage;
    auto record = ParseRecord(text, damage);
    if (!record) {
        problem = "damaged record: " + damage;
    }
    return record;
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
    for (auto& [name, item] : byName) {
        item.record = readRecord(folder, RecordNameFor(name), item.recordPresent, item.problem);
        if (item.fileMissing) {
            item.problem = "quarantined file missing";
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
    return std::nullopt;
}

QuarantineOutcome QuarantineStore::restore(const std::string& name,
                                           const std::optional<std::string>& toFolder) const {
    platform::FolderHandle folder;
    if (auto problem = openFor(name, folder)) {
        return std::move(*problem);
    }
    platform::FileFacts quarantined;
    if (const auto ec = platform::factsOf(folder, name, quarantined)) {
        return refused(ec == std::errc::no_such_file_or_directory
                           ? inQuotes(name) + " is not in the quarantine folder"
                           : "cannot restore " + inQuotes(name) + ": " + ec.message());
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
    if (record) {
        ContentDigest digest;
        if (const auto ec = digestOf(folder, name, digest)) {
            return refused("cannot read " + inQuotes(name) + ": " + ec.message());
        }
        if (digest.stamp.size != record->size || digest.sha256 != record->sha256) {
            return refused(inQuotes(name) +
                           " is not the file its record describes; it stays in quarantine");
        }
    }

    std::string targetFolder;
    std::string targetName;
    if (toFolder) {
        targetFolder = platform::absolutePath(*toFolder);
    }
    if (record) {
        // A record's location is absolute: it has a root and a separator after it.
        const std::size_t slash = platform::lastPathSeparator(record->location);
        targetName = record->location.substr(slash + 1);
        if (!toFolder) {
            targetFolder = record->location.substr(
                0, std::max(slash, platform::pathRootLength(record->location)));
        }
    } else {
        targetName = name.substr(0, name.size() - 4);
    }
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
    if (const auto ec = platform::moveFileNoReplace(folder, name, target, targetName)) {
        return refused("cannot restore " + inQuotes(name) + ": " +
                       (ec == std::errc::file_exists ? inQuotes(targetPath) + " already exists"
                                                     : ec.message()));
    }

    QuarantineOutcome outcome{true, "restored " + inQuotes(name) + " to " + inQuotes(targetPath),
                              targetPath};
    if (!record) {
        return outcome;
    }
    // A rename keeps the file itself; a copy across file systems is checked once more, so that
    // the mode and owner go only to the content the record describes.
    platform::FileFacts placed;
    std::error_code ec = platform::factsOf(target, targetName, placed);
    if (!ec && placed.id != quarantined.id) {
        ContentDigest digest;
        ec = digestOf(target, targetName, digest);
        if (!ec && (digest.sha256 != record->sha256 || digest.stamp.device != placed.id.device ||
                    digest.stamp.inode != placed.id.inode)) {
            ec = platform::FileError::Changed;
        }
    }
    if (!ec) {
        const std::optional<platform::FileOwner> owner =
            platform::runningAsRoot() ? std::optional(platform::FileOwner{record->uid, record->gid})
                                      : std::nullopt;
        ec = platform::setModeAndOwner(target, targetName, placed.id, record->mode, owner);
    }
    if (ec) {
        outcome.message += "; its mode could not be restored: " + ec.message();
    }
    if (const auto removed = platform::deleteFile(folder, recordName)) {
        outcome.message += "; its record could not be removed: " + removed.message();
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

QuarantineRowTexts QuarantineRow(const QuarantineItem& item) {
    QuarantineRowTexts row;
    if (!item.record) {
        row.location = "(" + item.problem + ")";
        return row;
    }
    row.location = PrintableName(item.record->location);
    if (item.fileMissing) {
        row.location += " (" + item.problem + ")";
    }
    row.threat = PrintableName(item.record->threat);
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
