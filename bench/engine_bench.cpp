// Engine benchmarks: CRC-32 loops, database lookups and the pattern walk, each next to the
// straightforward way of doing the same work, so that the gain of the engine's shortcuts shows.
//
// Data files are generated at start in a fresh folder under the system's temporary folder and
// removed at exit.

#include "BenchFiles.h"
#include "engine/Crc32.h"
#include "engine/PatternSet.h"
#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCrcBufferBytes = 700 * 1024; // the scanner checksums files below 750 KB
constexpr std::size_t kDatabaseLines = 3000;
constexpr std::size_t kPatternFileBytes = 4 * 1024 * 1024;
constexpr std::size_t kSmallFileBytes = 4 * 1024;

// ---------------------------------------------------------------------------------------------
// Data

std::string randomBytes(std::size_t count, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; i += 8) {
        const std::uint64_t word = random();
        std::memcpy(bytes.data() + i, &word, std::min<std::size_t>(8, count - i));
    }
    return bytes;
}

std::string hexKey(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

/// The generated files and the keys to look up, made once at start.
struct Corpus {
    fs::path folder;
    std::string crcBuffer;

    std::string databasePath;
    std::string middleKey;
    std::string middleName;
    std::string absentKey;

    std::string noisePath;
    std::string noise;
    std::string smallPath;
    std::string small;
};

Corpus* g_corpus = nullptr;

fs::path makeFolder() {
    std::string pattern = (fs::temp_directory_path() / "kesto-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a folder for the benchmark data");
    }
    return pattern;
}

/// A database of `kDatabaseLines` signature lines with distinct eight-digit keys, CR LF endings
/// and the end line. Notes the key and name of the middle line and a key it does not hold.
void writeDatabase(Corpus& corpus) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<std::uint32_t> value(0x10000000u, 0xFFFFFFFFu);
    std::set<std::string> used;
    std::string text;
    for (std::size_t line = 1; line <= kDatabaseLines; ++line) {
        std::string key;
        do {
            key = hexKey(value(random));
        } while (!used.insert(key).second);
        const std::string name = "W32.Sample." + std::to_string(line);
        if (line == kDatabaseLines / 2) {
            corpus.middleKey = key;
            corpus.middleName = name;
        }
        text += key + ":" + name + "\r\n";
    }
    text += std::string(SignatureDatabase::kEndLine) + "\r\n";
    do {
        corpus.absentKey = hexKey(value(random));
    } while (used.count(corpus.absentKey) != 0);

    const fs::path path = corpus.folder / "signatures.txt";
    writeFile(path, text);
    // Moves the modification time out of the window in which the index distrusts the file; the
    // status change time cannot be set back, see waitUntilDatabaseSettles.
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
    corpus.databasePath = path.string();
}

void makeCorpus(Corpus& corpus) {
    corpus.folder = makeFolder();
    corpus.crcBuffer = randomBytes(kCrcBufferBytes, 1);
    writeDatabase(corpus);
    corpus.noise = randomBytes(kPatternFileBytes, 2);
    corpus.noisePath = (corpus.folder / "noise.bin").string();
    writeFile(corpus.noisePath, corpus.noise);
    corpus.small = randomBytes(kSmallFileBytes, 3);
    corpus.smallPath = (corpus.folder / "small.bin").string();
    writeFile(corpus.smallPath, corpus.small);
}

/// Removes the data folder however main is left.
struct FolderGuard {
    const Corpus& corpus;
    ~FolderGuard() {
        std::error_code ec;
        if (!corpus.folder.empty()) {
            fs::remove_all(corpus.folder, ec);
        }
    }
};

// ---------------------------------------------------------------------------------------------
// CRC-32

using CrcLoop = std::uint32_t (*)(std::uint32_t, std::string_view);

void crcLoop(benchmark::State& state, CrcLoop loop) {
    const std::string_view data = g_corpus->crcBuffer;
    for (auto _ : state) {
        std::uint32_t reg = loop(0xFFFFFFFFu, data);
        benchmark::DoNotOptimize(reg);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void memcpyBaseline(benchmark::State& state) {
    const std::string& data = g_corpus->crcBuffer;
    std::string copy(data.size(), '\0');
    for (auto _ : state) {
        std::memcpy(copy.data(), data.data(), data.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// ---------------------------------------------------------------------------------------------
// Database lookup

/// The straightforward lookup: open the file and read it line by line from the top each time.
std::string classicLookup(const std::string& path, std::string_view key) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open the database");
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            throw std::runtime_error("database line without a colon");
        }
        if (std::string_view(line).substr(0, colon) == key) {
            return line.substr(colon + 1);
        }
        if (line == SignatureDatabase::kEndLine) {
            return {};
        }
    }
    throw std::runtime_error("database without an end line");
}

/// The index reads the file again on every lookup while its modification or status change time
/// lies within a few seconds of the last check, and setting the modification time back renews the
/// status change time. Waits, once, until that window has passed, so that the lookups measure the
/// settled index.
void waitUntilDatabaseSettles() {
    static const bool settled = [] {
        struct stat info {};
        if (::stat(g_corpus->databasePath.c_str(), &info) != 0) {
            throw std::runtime_error("cannot stat the database");
        }
        const auto changed = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(info.st_ctim.tv_sec) +
                std::chrono::nanoseconds(info.st_ctim.tv_nsec)));
        std::this_thread::sleep_until(changed + std::chrono::milliseconds(3500));
        return true;
    }();
    benchmark::DoNotOptimize(settled);
}

SignatureDatabase& sharedDatabase() {
    static SignatureDatabase database(g_corpus->databasePath);
    return database;
}

enum class Key { Absent, Middle };

const std::string& keyOf(Key key) {
    return key == Key::Absent ? g_corpus->absentKey : g_corpus->middleKey;
}

const std::string& expectedName(Key key) {
    static const std::string none;
    return key == Key::Absent ? none : g_corpus->middleName;
}

void indexLookup(benchmark::State& state, Key which) {
    waitUntilDatabaseSettles();
    const SignatureDatabase& database = sharedDatabase();
    const std::string& key = keyOf(which);
    if (database.lookup(key) != expectedName(which)) {
        state.SkipWithError("the index gives a wrong name");
        return;
    }
    for (auto _ : state) {
        std::string name = database.lookup(key);
        benchmark::DoNotOptimize(name);
    }
    state.SetItemsProcessed(state.iterations());
}

void classicDatabaseLookup(benchmark::State& state, Key which) {
    const std::string& key = keyOf(which);
    if (classicLookup(g_corpus->databasePath, key) != expectedName(which)) {
        state.SkipWithError("the line-by-line lookup gives a wrong name");
        return;
    }
    for (auto _ : state) {
        std::string name = classicLookup(g_corpus->databasePath, key);
        benchmark::DoNotOptimize(name);
    }
    state.SetItemsProcessed(state.iterations());
}

// ---------------------------------------------------------------------------------------------
// Pattern walk

std::vector<std::string> virusPatterns() {
    std::vector<std::string> patterns;
    for (const auto& entry : StringSignature::VirusEntries()) {
        patterns.push_back(entry.pattern);
    }
    return patterns;
}

bool checkNoiseIsClean(benchmark::State& state, std::string_view content) {
    if (StringSignature::FirstVirusPattern(content).has_value()) {
        state.SkipWithError("the noise holds a pattern");
        return false;
    }
    return true;
}

void patternBuffer(benchmark::State& state) {
    const std::string_view content = g_corpus->noise;
    if (!checkNoiseIsClean(state, content)) {
        return;
    }
    for (auto _ : state) {
        auto match = StringSignature::FirstVirusPattern(content);
        benchmark::DoNotOptimize(match);
    }
    state.SetLabel(StringSignature::VirusPatternSet().backendName());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
}

void patternFile(benchmark::State& state, const std::string* path, const std::string* content) {
    if (!checkNoiseIsClean(state, *content)) {
        return;
    }
    for (auto _ : state) {
        auto match = StringSignature::FirstVirusPatternInFile(*path);
        benchmark::DoNotOptimize(match);
    }
    state.SetLabel(StringSignature::VirusPatternSet().backendName());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content->size()));
}

void patternPortable(benchmark::State& state) {
    const std::string_view content = g_corpus->noise;
    const PatternSet set(virusPatterns(), PatternSet::Backend::Portable);
    if (!checkNoiseIsClean(state, content) || set.first(content).has_value()) {
        state.SkipWithError("the noise holds a pattern");
        return;
    }
    for (auto _ : state) {
        auto first = set.first(content);
        benchmark::DoNotOptimize(first);
    }
    state.SetLabel(set.backendName());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    in.seekg(0, std::ios::end);
    std::string content(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0, std::ios::beg);
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return content;
}

enum class Search { StringFind, Memmem };

/// The straightforward walk: for each entry in list order, read the whole file again and search
/// it for that one pattern; the first entry found ends the walk.
std::optional<std::size_t> classicWalk(const std::string& path,
                                       const std::vector<StringSignature::EntryFields>& entries,
                                       Search search) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string content = readWholeFile(path);
        const std::string& pattern = entries[i].pattern;
        const bool found = search == Search::StringFind
                               ? content.find(pattern) != std::string::npos
                               : ::memmem(content.data(), content.size(), pattern.data(),
                                          pattern.size()) != nullptr;
        if (found) {
            return i;
        }
    }
    return std::nullopt;
}

void patternClassic(benchmark::State& state, Search search) {
    const auto& entries = StringSignature::VirusEntries();
    if (!checkNoiseIsClean(state, g_corpus->noise) ||
        classicWalk(g_corpus->noisePath, entries, search).has_value()) {
        state.SkipWithError("the noise holds a pattern");
        return;
    }
    for (auto _ : state) {
        auto first = classicWalk(g_corpus->noisePath, entries, search);
        benchmark::DoNotOptimize(first);
    }
    state.SetLabel(std::to_string(entries.size()) + " reads");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_corpus->noise.size()));
}

/// Reading a small file whole and searching the buffer: what a per-file reader costs at least.
void smallReadThenBuffer(benchmark::State& state) {
    if (!checkNoiseIsClean(state, g_corpus->small)) {
        return;
    }
    for (auto _ : state) {
        const std::string content = readWholeFile(g_corpus->smallPath);
        auto match = StringSignature::FirstVirusPattern(content);
        benchmark::DoNotOptimize(match);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_corpus->small.size()));
}

/// Registers one benchmark timed by the wall clock: file reads spend part of their time in the
/// kernel, and one clock for all keeps the rates comparable.
template <class Function, class... Args>
void add(const std::string& name, Function function, Args... args) {
    benchmark::RegisterBenchmark(name.c_str(), function, args...)->UseRealTime();
}

void registerBenchmarks() {
    add(std::string("crc32/update (") + crc32::backendName() + ")", crcLoop, &crc32::update);
    add("crc32/updateFolded256", crcLoop, &crc32::updateFolded256);
    add("crc32/updateSliced", crcLoop, &crc32::updateSliced);
    add("crc32/updateBytewise", crcLoop, &crc32::updateBytewise);
    add("crc32/memcpy", memcpyBaseline);

    add("lookup/index/absent", indexLookup, Key::Absent);
    add("lookup/index/middle", indexLookup, Key::Middle);
    add("lookup/lineByLine/absent", classicDatabaseLookup, Key::Absent);
    add("lookup/lineByLine/middle", classicDatabaseLookup, Key::Middle);

    add("patterns/FirstVirusPattern/4MiB", patternBuffer);
    add("patterns/FirstVirusPatternInFile/4MiB", patternFile, &g_corpus->noisePath,
        &g_corpus->noise);
    add("patterns/portableSet/4MiB", patternPortable);
    add("patterns/rereadPerPattern/find/4MiB", patternClassic, Search::StringFind);
    add("patterns/rereadPerPattern/memmem/4MiB", patternClassic, Search::Memmem);

    add("patterns/FirstVirusPatternInFile/4KiB", patternFile, &g_corpus->smallPath,
        &g_corpus->small);
    add("patterns/readThenFirstVirusPattern/4KiB", smallReadThenBuffer);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    Corpus corpus;
    const FolderGuard guard{corpus};
    try {
        makeCorpus(corpus);
        g_corpus = &corpus;
        registerBenchmarks();
        benchmark::RunSpecifiedBenchmarks();
    } catch (const std::exception& e) {
        std::cerr << "engine_bench: " << e.what() << '\n';
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
