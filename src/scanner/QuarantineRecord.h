#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// What the quarantine remembers of one quarantined file, in a small JSON document beside it.
struct QuarantineRecord {
    std::string location;      ///< the file's full path before quarantine, as exact bytes
    std::string threat;        ///< the threat name it was listed with
    std::string checksum;      ///< its checksum text (CRC-32, as the signature database writes it)
    std::string sha256;        ///< SHA-256 of its content, lower-case hexadecimal
    std::uint64_t size = 0;    ///< its length in bytes
    std::uint32_t mode = 0;    ///< its permission, set-id and sticky bits before quarantine
    std::uint32_t uid = 0;     ///< its owner before quarantine
    std::uint32_t gid = 0;     ///< its group before quarantine
    std::string quarantinedAt; ///< UTC, ISO 8601: "2026-12-09T16:29:13Z"
    std::uint64_t device = 0;  ///< the quarantined file's device and inode when it was recorded
    std::uint64_t inode = 0;
    bool operator==(const QuarantineRecord&) const = default;
};

/// Record files are named after the quarantined file, its final "_vir" replaced by ".rec":
/// "setup.exe_vir" has the record "setup.exe.rec". The two names are equally long, so a record
/// name is always possible, and a record name never ends in "_vir", so it never takes the name of
/// a quarantined file. Empty when `quarantinedName` does not end in "_vir".
std::string RecordNameFor(std::string_view quarantinedName);
/// The quarantined name a record name belongs to; empty for a name that is no record's.
std::string QuarantinedNameFor(std::string_view recordName);

/// The record as a JSON document. The location is stored twice: readable ("location", where
/// bytes that are not UTF-8 show as U+FFFD) and exact ("location-base64", every byte, for names
/// holding newlines or bytes that are not UTF-8). Threat names that are not UTF-8 are stored
/// with U+FFFD in place of the stray bytes.
std::string RecordText(const QuarantineRecord& record);

/// Reads a record document. A document that is damaged or is not a record gives no value and a
/// `problem` saying what is wrong; nothing in it is trusted before it is checked.
std::optional<QuarantineRecord> ParseRecord(std::string_view text, std::string& problem);

/// The largest record file that is read; records are a few hundred bytes.
inline constexpr std::uint64_t kRecordSizeLimit = 64 * 1024;

/// A file mode as four octal digits: "4755".
std::string ModeText(std::uint32_t mode);

/// `secondsSinceEpoch` as UTC in ISO 8601 with a "Z": "2026-12-09T16:29:13Z".
std::string UtcTimeText(std::int64_t secondsSinceEpoch);
