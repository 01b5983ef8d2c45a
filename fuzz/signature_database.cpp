// Fuzzes the signature database: the input is written as the database file, then the sorted index
// (SignatureDatabase) and the numbered listing (BuildSignatureList) must answer exactly as reading
// the file line by line from the top does.

#include "FuzzCheck.h"
#include "engine/SignatureDatabase.h"
#include "engine/SignatureList.h"
#include "engine/StringSignature.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

/// A database file of this process, in TMPDIR, removed at exit.
const std::string& databasePath() {
    static const std::string path = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kesto-fuzz-database-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        ::close(fd);
        return pattern;
    }();
    return path;
}

void removeDatabase() {
    std::error_code ignored;
    std::filesystem::remove(databasePath(), ignored);
}

void writeDatabase(std::string_view content) {
    std::ofstream out(databasePath(), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
        std::perror("writing the fuzz database");
        std::abort();
    }
}

/// The lines a line-by-line text read gives: CR LF, a lone CR and a lone LF each end a line, and
/// the last line needs no ending.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '\r' && text[i] != '\n') {
            ++i;
            continue;
        }
        lines.push_back(text.substr(start, i - start));
        const bool crlf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        i += crlf ? 2 : 1;
        start = i;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

/// What a lookup answers, read from the top: the name of the first line with the key, empty at
/// the end line, a failure at a line without a colon or at the end of the file.
struct Answer {
    bool failed = false;
    std::string name;
};

Answer modelLookup(const std::vector<std::string_view>& lines, std::string_view key) {
    for (const std::string_view line : lines) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return {true, {}};
        }
        if (line.substr(0, colon) == key) {
            return {false, std::string(line.substr(colon + 1))};
        }
        if (line == SignatureDatabase::kEndLine) {
            return {false, {}};
        }
    }
    return {true, {}};
}

Answer lookup(const SignatureDatabase& database, std::string_view key) {
    try {
        return {false, database.lookup(key)};
    } catch (const DatabaseError& error) {
        FUZZ_CHECK(std::string_view(error.what()) != "");
        return {true, {}};
    }
}

/// Keys worth asking: fixed ones, and for the first lines and the last one the text before the
/// first colon and that key one byte short (a near miss for the sorted search). Each lookup of a
/// file written moments ago reads it again, so the list stays short.
std::vector<std::string> keysFor(const std::vector<std::string_view>& lines) {
    std::vector<std::string> keys = {"", "Selesai", "\n"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i >= 3 && i + 1 != lines.size()) {
            continue;
        }
        const std::string_view key = lines[i].substr(0, lines[i].find(':'));
        keys.emplace_back(key);
        if (!key.empty()) {
            keys.emplace_back(key.substr(0, key.size() - 1));
        }
    }
    if (!lines.empty()) {
        keys.emplace_back(lines.front());
    }
    return keys;
}

void checkIndex(const SignatureDatabase& database, const std::vector<std::string_view>& lines,
                const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        const Answer expected = modelLookup(lines, key);
        const Answer actual = lookup(database, key);
        FUZZ_CHECK_EQ(actual.failed, expected.failed);
        FUZZ_CHECK_EQ(actual.name, expected.name);
    }
    // A key on no line ("\n" cannot be part of one) fails exactly when a problem is reported.
    std::string problem;
    try {
        problem = database.problem();
    } catch (const DatabaseError&) {
        fuzzcheck::fail("problem() could not read the database", __FILE__, __LINE__);
    }
    FUZZ_CHECK_EQ(problem.empty(), !modelLookup(lines, "\n").failed);
}

void checkList(const std::vector<std::string_view>& lines) {
    const SignatureList list = BuildSignatureList(databasePath());
    std::vector<std::string> expected;
    bool ended = false;
    bool lineWithoutColon = false;
    for (const std::string_view line : lines) {
        const std::size_t colon = line.find(':');
        lineWithoutColon = lineWithoutColon || colon == std::string_view::npos;
        const std::string_view name =
            colon == std::string_view::npos ? line : line.substr(colon + 1);
        if (name == "Selesai") {
            ended = true;
            break;
        }
        expected.push_back(std::to_string(expected.size() + 1) + ". " + std::string(name));
    }
    for (const auto& entry : StringSignature::VirusEntries()) {
        expected.push_back(std::to_string(expected.size() + 1) + ". " + entry.name);
    }
    FUZZ_CHECK_EQ(list.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK_EQ(list.items[i], expected[i]);
    }
    FUZZ_CHECK_EQ(list.totalLine, "Total Signatures : " + std::to_string(expected.size()));
    FUZZ_CHECK_EQ(list.problem.empty(), ended && !lineWithoutColon);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    databasePath();
    std::atexit(removeDatabase);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content = fuzzcheck::asText(data, size);
    writeDatabase(content);
    const std::vector<std::string_view> lines = splitLines(content);
    const std::vector<std::string> keys = keysFor(lines);

    // A new object parses the file it finds; one kept across inputs must notice every rewrite,
    // even one within the same timestamp tick and of the same size.
    const SignatureDatabase fresh(databasePath());
    checkIndex(fresh, lines, keys);
    static const SignatureDatabase kept(databasePath());
    checkIndex(kept, lines, {keys.begin(), keys.begin() + std::min<std::size_t>(keys.size(), 6)});

    checkList(lines);
    return 0;
}
