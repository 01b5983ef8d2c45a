#pragma once

#include "platform/FileHashes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// One listed file: its digest, its size when the list gives one, and its threat name.
struct HashEntry {
    platform::HashKind kind = platform::HashKind::Sha256;
    platform::Digest digest{};
    std::optional<std::uint64_t> size;
    /// Points into the line being read (or the default name): valid only while the entry is
    /// handed over.
    std::string_view name;
    /// Where the line starts in the list, in bytes from its start, and its number from 1.
    std::uint64_t lineOffset = 0;
    std::uint64_t lineNumber = 0;
};

struct HashListReport {
    std::uint64_t entries = 0;
    std::uint64_t badLines = 0;
    /// The numbers of the first kMaxReportedBadLines bad lines.
    std::vector<std::uint64_t> firstBadLines;
};

/// The longest line a hash list may have, without its line ending. A longer one is bad, and is
/// never held whole in memory.
inline constexpr std::size_t kMaxHashLineBytes = 4096;
inline constexpr std::size_t kMaxReportedBadLines = 5;

/// Reads a hash list given in pieces of any size. A line is `HASH:SIZE:NAME` (SIZE decimal or
/// `*` for any size) or a bare `HASH`, which takes the default name; the hash's length gives its
/// kind (32 hexadecimal digits MD5, 40 SHA-1, 64 SHA-256, either case). Blank lines and lines
/// starting with `#` are skipped; a CR before the line feed and blanks around the line and its
/// fields are ignored. Any other line is bad: counted, the first few line numbers kept, and the
/// rest of the list read on.
class HashListParser {
public:
    using Sink = std::function<void(const HashEntry&)>;

    HashListParser(std::string defaultName, Sink sink);

    void feed(std::string_view bytes);
    /// Reads the last line when the list does not end with a line feed. Call once, after the
    /// last `feed`.
    void finish();
    const HashListReport& report() const { return m_report; }

private:
    void line(std::string_view text);
    void badLine();

    std::string m_defaultName;
    Sink m_sink;
    HashListReport m_report;
    /// The start of a line that the previous piece ended in the middle of.
    std::string m_pending;
    /// The current line is already too long: the bytes up to its end are dropped.
    bool m_overlong = false;
    /// Where the current line starts, and how many bytes came before this piece.
    std::uint64_t m_lineOffset = 0;
    std::uint64_t m_consumed = 0;
    std::uint64_t m_lineNumber = 0;
};

/// One line without its line feed, as the parser reads it; none for a blank, comment or bad line.
/// Reads a listed file's name back from its list.
std::optional<HashEntry> ParseHashLine(std::string_view line, std::string_view defaultName);
