#pragma once

#include "platform/InputFile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// A lookup that could not be answered: the database is missing or unreadable, or its reading
/// stopped before the end line (a line without a colon, or no end line at all).
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The text signature database: lines "CHECKSUM:Threat name" ending with "Selesai:Selesai".
///
/// The file is parsed once into a sorted index and parsed again only when it changes on disk, yet
/// every lookup answers exactly as reading the file line by line from the top would: the first line
/// with the key wins, lines after the end line do not exist, and a lookup that would run into a
/// line without a colon or past the end of the file fails, while keys found before that point are
/// still answered. Safe to use from several threads.
class SignatureDatabase {
public:
    /// The line that ends the database.
    static constexpr std::string_view kEndLine = "Selesai:Selesai";
    /// Larger database files are refused (DatabaseError): the file is held in memory with an
    /// index beside it, and a scan must not die for want of memory. 64 MiB hold millions of lines.
    static constexpr std::uint64_t kMaxBytes = 64ull << 20;

    /// Why a database cannot answer: a line without a colon, or no end line.
    static std::string NoColonProblem(const std::string& path, std::size_t lineNumber);
    static std::string NoEndLineProblem(const std::string& path);

    /// Reads the database file whole, or throws DatabaseError (missing, unreadable, too large).
    static std::string ReadFile(const std::string& path);

    explicit SignatureDatabase(std::string path);
    ~SignatureDatabase();
    SignatureDatabase(const SignatureDatabase&) = delete;
    SignatureDatabase& operator=(const SignatureDatabase&) = delete;

    const std::string& path() const { return m_path; }

    /// Threat name of the first line whose checksum text equals `checksumText` (exact, case-
    /// sensitive); empty when the end line comes first. Throws DatabaseError.
    std::string lookup(std::string_view checksumText) const;

    /// Starts a round of lookups. The file is looked at again by the first lookup of a round (or
    /// of a later one) only, not by every lookup: a scan starts a round for each folder, so a
    /// database that changes during the scan is seen from the next folder on. Rounds count up from
    /// 1 and are never handed out twice, whichever thread asks.
    std::uint64_t startRound() const;
    /// `lookup`, looking at the file only when no lookup did since `round` started; round 0 always
    /// looks. `version`, when given, receives the version of the file that answered.
    std::string lookup(std::string_view checksumText, std::uint64_t round,
                       std::uint64_t* version = nullptr) const;
    /// The version of the file a lookup in `round` would answer from: a number that changes
    /// whenever the file is read anew, never 0. Throws DatabaseError as `lookup` does.
    std::uint64_t version(std::uint64_t round) const;
    /// The bytes of the file a lookup in `round` would answer from, as the index holds them (the
    /// file is not read again for this). Throws DatabaseError as `lookup` does.
    std::shared_ptr<const std::string> content(std::uint64_t round) const;

    /// Why lookups of keys the database lacks fail, or empty when they do not. Throws
    /// DatabaseError when the file cannot be read at all.
    std::string problem() const;

private:
    struct Index;
    std::shared_ptr<const Index> current(std::uint64_t round) const;
    std::shared_ptr<const Index> parse(const platform::FileStamp& stamp, std::string content) const;

    std::string m_path;
    mutable std::mutex m_mutex;
    mutable std::shared_ptr<const Index> m_index;
    mutable std::int64_t m_verifiedAtNs = 0;        // the file matched the index at this time
    mutable std::atomic<std::uint64_t> m_rounds{0}; // the last round handed out
    mutable std::uint64_t m_lookedInRound = 0; // the file was looked at after this round started
    mutable std::uint64_t m_versions = 0;      // the last version handed out, under m_mutex
};
