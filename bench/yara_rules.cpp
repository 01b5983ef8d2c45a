// yara_rules: writes rules for the general pattern tool `yara` that look for what `kesto scan`
// looks for, so that run_scan_bench.sh can time both on the same corpus.
//
//   yara_rules DATABASE > RULES
//   yara_rules --patterns-only > RULES
//
// One rule per database line before the end line whose key a checksum can have (upper-case hex
// without leading zeros, as kesto writes a file's CRC-32): the file is below the checksum limit and
// its CRC-32 is that key. One rule holding the built-in virus patterns: the file is below the
// examination limit and holds any of them. yara has no notion of a file's type, so the patterns
// are searched in every file, where kesto searches them in programs only. --patterns-only writes
// the pattern rule alone: yara computes a file's CRC-32 again for every rule that asks for it, so
// the checksum rules cost one pass over every small file per database line.

#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "engine/TextLines.h"
#include "engine/clsCRC.h"
#include "scanner/FileCheck.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace {

/// The CRC-32 a key stands for, when kesto writes some file's checksum exactly so; keys in lower
/// case or with leading zeros never match a lookup.
std::optional<std::uint32_t> checksumOf(std::string_view key) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), value, 16);
    if (ec != std::errc() || end != key.data() + key.size() ||
        ChecksumText(static_cast<std::int32_t>(value)) != key) {
        return std::nullopt;
    }
    return value;
}

std::string hexString(std::string_view bytes) {
    std::string text;
    char pair[4];
    for (const char byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02X ", static_cast<unsigned char>(byte));
        text += pair;
    }
    return text;
}

/// Writes one rule per checksum key of the database; false when it cannot be read.
bool writeChecksumRules(const char* path) {
    std::string content;
    try {
        content = SignatureDatabase::ReadFile(path);
    } catch (const std::exception& error) {
        std::cerr << "yara_rules: " << error.what() << '\n';
        return false;
    }
    const auto checksumLimit = static_cast<std::uint64_t>(kChecksumLimitKb * 1024);
    std::printf("import \"hash\"\n\n");

    // The first line of a key names the threat; later lines with the same key add nothing here.
    TextLines lines(content);
    std::string_view line;
    std::unordered_set<std::uint32_t> listed;
    std::size_t number = 0;
    bool ended = false;
    while (lines.next(line)) {
        ++number;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            break; // kesto's lookups stop here as well
        }
        if (line == SignatureDatabase::kEndLine) {
            ended = true;
            break;
        }
        const auto crc = checksumOf(line.substr(0, colon));
        if (!crc || !listed.insert(*crc).second) {
            continue;
        }
        std::printf("rule checksum_line_%zu {\n  condition:\n    filesize < %ju and "
                    "hash.crc32(0, filesize) == 0x%08X\n}\n",
                    number, static_cast<std::uintmax_t>(checksumLimit), *crc);
    }
    if (!ended) {
        std::cerr << "yara_rules: the database has no end line before a line without a colon or "
                     "the end of the file; kesto's lookups of absent keys fail there\n";
    }
    std::printf("\n");
    return true;
}

void writePatternRule() {
    std::printf("rule virus_patterns {\n  strings:\n");
    const auto& entries = StringSignature::VirusEntries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::printf("    $p%zu = { %s}\n", i + 1, hexString(entries[i].pattern).c_str());
    }
    std::printf("  condition:\n    filesize < %zu and any of them\n}\n", kExamineLimitBytes);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: yara_rules DATABASE > RULES\n"
                     "       yara_rules --patterns-only > RULES\n";
        return 2;
    }
    if (std::string_view(argv[1]) != "--patterns-only" && !writeChecksumRules(argv[1])) {
        return 1;
    }
    writePatternRule();
    std::fflush(stdout);
    return std::ferror(stdout) ? 1 : 0;
}
