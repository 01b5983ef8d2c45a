#include "engine/StringSignature.h"

#include "engine/FileBlocks.h"
#include "engine/FindBytes.h"
#include "engine/PatternSet.h"

#include <array>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace StringSignature {

namespace {

constexpr std::array kVirusList = {
    "73616C616D2073656D756120627561742079616E672062617275206D6173756B2073656B6F6C6168:"
    "w32.service:17920",
    "60AA606F4DD82135B73D:w32.Burmecia:100",
    "2C245947F84623478D28:w32.KSpoold:285184",
    "15e01040008d4dc88d55d851526a02:w32.TunggulKawung.C:175104",
    "6B97BE307DEC17751E37CF2B8579DD4B:w32.Trojan.gen:448000",
    "BF8D3183FBEC5FD0FBEC5FD0FBEC5FD0:Suspect level (2):237568",
    "43424544474649484B4A4D4C4F4E617533327935343659ACAE193D3C3F3E2120:Suspect level (3):3000",
    "5773687368656C6C3D57736372697074:VBSKode:1954",
    "5773687368656C6C:VBSKode:230",
    "536574204D616C696E673D25636F6D70757465726E616D65255F2572616E646F6D25:VBSKode:509",
    "777363726970742E657865:VBSkode:2000",
    "504500004C010200A2DD82480000000000000000E0:Suspect level (4):727040",
    "A23539C2E6545791E6545791E6545791255B5891E7545791255B0A91E9545791E654569196545791255B0991E7"
    "545791255B3791E4545791255B0891F5545791255B0D91E754579152696368E6545791:"
    "Suspect Level (5):45056",
    "889D2AAA889D2AAA881E36A4889C2AAA88F435A3889F2AAA887435A7889C2AAA88526963689D2AAA88:"
    "Suspect level (6):2224128",
    "Selesai:Selesai:Selesai",
};

constexpr std::array kPackerList = {
    "0000004d4557:MEW",          "555058210c09:UPX",
    "c02e61737061636b00:Aspack", "89085045436f6d70616374:PECompact",
    "Selesai:Selesai",
};

constexpr std::array kCompilerList = {
    "0000004d535642564d36302e444c4c000000:MS Visual Basic 6.0",
    "5700650064000300540068007500030046007200690003005300610074:Borland Delphi 7",
    "000000004d6963726f736f66742056697375616c20432b2b2052756e74696d65:MS Visual C++",
    "Selesai:Selesai",
};

template <std::size_t N>
std::string entryAt(const std::array<const char*, N>& list, std::uint16_t index,
                    std::uint16_t room) {
    if (index > room) {
        throw std::out_of_range("pattern list index " + std::to_string(index) + " beyond " +
                                std::to_string(room));
    }
    if (index == 0 || index > list.size()) {
        return {};
    }
    return list[index - 1];
}

using EntryFunction = std::string (*)(std::uint16_t);

std::vector<EntryFields> decodeList(EntryFunction entry, std::string_view end) {
    std::vector<EntryFields> fields;
    for (std::uint16_t index = 1;; ++index) {
        const std::string text = entry(index);
        if (text == end) {
            return fields;
        }
        EntryFields decoded = SplitEntry(text);
        decoded.pattern = HexToBytes(decoded.pattern);
        fields.push_back(std::move(decoded));
    }
}

std::vector<std::string> patternsOf(const std::vector<EntryFields>& entries) {
    std::vector<std::string> patterns;
    for (const auto& entry : entries) {
        patterns.push_back(entry.pattern);
    }
    return patterns;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<VirusMatch> matchAt(std::optional<std::size_t> index) {
    if (!index) {
        return std::nullopt;
    }
    const EntryFields& entry = VirusEntries()[*index];
    return VirusMatch{entry.name, entry.size};
}

} // namespace

std::string PatternEntry(std::uint16_t index) {
    return entryAt(kVirusList, index, 1000);
}
std::string PackerEntry(std::uint16_t index) {
    return entryAt(kPackerList, index, 100);
}
std::string CompilerEntry(std::uint16_t index) {
    return entryAt(kCompilerList, index, 100);
}

std::string HexToBytes(std::string_view hex) {
    std::string bytes;
    bytes.reserve(hex.size() / 2 + 1);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigit(hex[i]);
        if (i + 1 == hex.size()) {
            bytes.push_back(static_cast<char>(high < 0 ? 0 : high));
            break;
        }
        const int low = hexDigit(hex[i + 1]);
        bytes.push_back(high < 0 || low < 0 ? '\0' : static_cast<char>(high * 16 + low));
    }
    return bytes;
}

std::string FileContainsPattern(const std::string& path, std::string_view bytes,
                                const std::string& name) {
    if (bytes.empty()) {
        // An empty string occurs at the start of every non-empty file.
        bool nonEmpty = false;
        forEachFileWindow(path, 0, [&](std::string_view) {
            nonEmpty = true;
            return false;
        });
        return nonEmpty ? name : std::string();
    }
    bool found = false;
    forEachFileWindow(path, bytes.size() - 1, [&](std::string_view window) {
        found = findBytes(window, bytes) != nullptr;
        return !found;
    });
    return found ? name : std::string();
}

EntryFields SplitEntry(std::string_view entry) {
    EntryFields fields;
    const std::size_t first = entry.find(':');
    fields.pattern = std::string(entry.substr(0, first));
    if (first == std::string_view::npos) {
        return fields;
    }
    const std::string_view rest = entry.substr(first + 1);
    const std::size_t second = rest.find(':');
    fields.name = std::string(rest.substr(0, second));
    if (second != std::string_view::npos) {
        const std::string_view size = rest.substr(second + 1);
        std::from_chars(size.data(), size.data() + size.size(), fields.size);
    }
    return fields;
}

const std::vector<EntryFields>& VirusEntries() {
    static const auto entries = decodeList(PatternEntry, kVirusListEnd);
    return entries;
}

const std::vector<EntryFields>& PackerEntries() {
    static const auto entries = decodeList(PackerEntry, kListEnd);
    return entries;
}

const std::vector<EntryFields>& CompilerEntries() {
    static const auto entries = decodeList(CompilerEntry, kListEnd);
    return entries;
}

const PatternSet& VirusPatternSet() {
    static const PatternSet set(patternsOf(VirusEntries()));
    return set;
}

const PatternSet& PackerPatternSet() {
    static const PatternSet set(patternsOf(PackerEntries()));
    return set;
}

const PatternSet& CompilerPatternSet() {
    static const PatternSet set(patternsOf(CompilerEntries()));
    return set;
}

std::optional<VirusMatch> FirstVirusPattern(std::string_view content) {
    return matchAt(VirusPatternSet().first(content));
}

std::optional<VirusMatch> FirstVirusPatternInFile(const std::string& path) {
    return matchAt(VirusPatternSet().firstInFile(path));
}

} // namespace StringSignature
