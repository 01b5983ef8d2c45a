#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class PatternSet;

/// The built-in byte-pattern lists (virus patterns, packers, compilers) and the whole-file search.
namespace StringSignature {

/// End entries of the lists.
inline constexpr std::string_view kVirusListEnd = "Selesai:Selesai:Selesai";
inline constexpr std::string_view kListEnd = "Selesai:Selesai";

/// Entry "HEX:name:size" of the virus pattern list. Indexes start at 1; index 0 and unused indexes
/// up to 1000 are empty; beyond 1000 throws std::out_of_range.
std::string PatternEntry(std::uint16_t index);
/// Entry "HEX:name" of the packer list (room 0..100, as for PatternEntry).
std::string PackerEntry(std::uint16_t index);
/// Entry "HEX:name" of the compiler list (room 0..100, as for PatternEntry).
std::string CompilerEntry(std::uint16_t index);

/// Decodes pairs of hexadecimal digits; a pair that is not hexadecimal gives the byte 0, and a
/// lone last digit is read on its own.
std::string HexToBytes(std::string_view hex);

/// `name` when the file contains `bytes` anywhere, else empty. Throws std::system_error when the
/// file cannot be opened or read.
std::string FileContainsPattern(const std::string& path, std::string_view bytes,
                                const std::string& name);

/// The parts of an entry: pattern before the first colon, name up to the second colon, and for
/// virus entries the size after it.
struct EntryFields {
    std::string pattern;
    std::string name;
    std::int32_t size = 0;
};
EntryFields SplitEntry(std::string_view entry);

/// A detection by pattern: the entry's name and size.
struct VirusMatch {
    std::string name;
    std::int32_t size = 0;
    bool operator==(const VirusMatch&) const = default;
};

/// The virus patterns, decoded, in list order, searched together.
const PatternSet& VirusPatternSet();
const PatternSet& PackerPatternSet();
const PatternSet& CompilerPatternSet();

/// Decoded entries of each list in index order (end entry excluded).
const std::vector<EntryFields>& VirusEntries();
const std::vector<EntryFields>& PackerEntries();
const std::vector<EntryFields>& CompilerEntries();

/// The first virus pattern (lowest index) found in `content`, searching all in one pass.
std::optional<VirusMatch> FirstVirusPattern(std::string_view content);
/// The same for a file read once. Throws std::system_error when it cannot be read.
std::optional<VirusMatch> FirstVirusPatternInFile(const std::string& path);

} // namespace StringSignature
