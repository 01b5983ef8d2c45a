// Hash list benchmarks: the file digests a scan computes for hash lists (each kind alone, all three
// in one pass, and libsodium's SHA-256 that platform::Sha256 uses, for comparison), and loading a
// list of a million SHA-256 entries as the scan does (read in 1 MiB pieces, parsed, indexed),
// with the index's size and what a scanned file's size check costs against it.
//
// The list is generated at start in a fresh folder under the system's temporary folder and
// removed at exit.

#include "BenchFiles.h"
#include "platform/Digest.h"
#include "platform/FileHashes.h"
#include "signatures/HashIndex.h"
#include "signatures/HashList.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
constexpr std::size_t kListEntries = 1'000'000;
constexpr std::size_t kListPiece = 1 << 20;
/// Sizes of listed files: up to 64 MiB, as a scan hashes by default.
constexpr std::uint64_t kMaxListedSize = 64ull << 20;

std::string randomBytes(std::size_t count, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; i += 8) {
        const std::uint64_t word = random();
        std::memcpy(bytes.data() + i, &word, std::min<std::size_t>(8, count - i));
    }
    return bytes;
}

/// A list of random SHA-256 digests, with random sizes or `*`, and names like
/// "Win.Trojan.Agent-1234567".
std::string makeList(bool withSizes) {
    std::mt19937_64 random(withSizes ? 1 : 2);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(kListEntries * 100);
    text += "# generated list\n";
    char name[32];
    for (std::size_t i = 0; i < kListEntries; ++i) {
        for (int word = 0; word < 4; ++word) {
            std::uint64_t bits = random();
            for (int digit = 0; digit < 16; ++digit, bits >>= 4) {
                text += kDigits[bits & 0x0F];
            }
        }
        text += ':';
        text += withSizes ? std::to_string(random() % kMaxListedSize) : std::string("*");
        std::snprintf(name, sizeof name, ":Win.Trojan.Agent-%07u\n",
                      static_cast<unsigned>(random() % 10'000'000));
        text += name;
    }
    return text;
}

struct Corpus {
    fs::path folder;
    std::string buffer;
    std::string sizedList;
    std::string unsizedList;
};

Corpus* g_corpus = nullptr;

/// The folder and its files, removed however main is left.
struct FolderGuard {
    const Corpus& corpus;
    ~FolderGuard() {
        if (!corpus.folder.empty()) {
            std::error_code ignored;
            fs::remove_all(corpus.folder, ignored);
        }
    }
};

void makeCorpus(Corpus& corpus) {
    std::string pattern = (fs::temp_directory_path() / "kesto-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder in " + fs::temp_directory_path().string());
    }
    corpus.folder = pattern;
    corpus.buffer = randomBytes(kBufferBytes, 29);
    corpus.sizedList = (corpus.folder / "sized.hashes").string();
    corpus.unsizedList = (corpus.folder / "unsized.hashes").string();
    writeFile(corpus.sizedList, makeList(true));
    writeFile(corpus.unsizedList, makeList(false));
}

// ---------------------------------------------------------------------------------------------
// Digests

void hashKinds(benchmark::State& state, platform::HashKinds kinds) {
    platform::MultiHasher hasher(kinds);
    if (!hasher.ready()) {
        state.SkipWithError("the hasher could not be set up");
        return;
    }
    for (auto _ : state) {
        hasher.update(g_corpus->buffer);
        auto digests = hasher.finish();
        benchmark::DoNotOptimize(digests);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferBytes));
}

void sodiumSha256(benchmark::State& state) {
    for (auto _ : state) {
        platform::Sha256 hash;
        hash.update(g_corpus->buffer);
        auto hex = hash.hexDigest();
        benchmark::DoNotOptimize(hex);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferBytes));
}

// ---------------------------------------------------------------------------------------------
// Loading a list

/// Resident memory of this process, from /proc/self/status.
std::uint64_t residentBytes() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
        }
    }
    return 0;
}

/// Reads the list in pieces as the loader does, and indexes it.
HashIndex loadList(const std::string& path, HashListReport& report) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot open " + path);
    }
    HashIndex::Builder builder;
    HashListParser parser("list", [&](const HashEntry& entry) { builder.add(entry, 1); });
    std::vector<char> piece(kListPiece);
    for (;;) {
        const ssize_t got = ::read(fd, piece.data(), piece.size());
        if (got < 0) {
            ::close(fd);
            throw std::runtime_error("cannot read " + path);
        }
        if (got == 0) {
            break;
        }
        parser.feed({piece.data(), static_cast<std::size_t>(got)});
    }
    ::close(fd);
    parser.finish();
    report = parser.report();
    return std::move(builder).build();
}

void loadBenchmark(benchmark::State& state, const std::string* path) {
    HashListReport report;
    std::size_t memory = 0;
    std::uint64_t residentGrowth = 0;
    for (auto _ : state) {
        const std::uint64_t before = residentBytes();
        const HashIndex index = loadList(*path, report);
        const std::uint64_t after = residentBytes();
        residentGrowth = std::max(residentGrowth, after > before ? after - before : 0);
        memory = index.memoryBytes();
        if (index.entryCount() != kListEntries || report.badLines != 0) {
            state.SkipWithError("the list did not load whole");
            return;
        }
    }
    state.counters["entries"] = static_cast<double>(report.entries);
    state.counters["indexMB"] = static_cast<double>(memory) / 1e6;
    state.counters["rssGrowthMB"] = static_cast<double>(residentGrowth) / 1e6;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kListEntries));
}

/// The check every scanned file makes: whether any listed entry has its size. Most files are
/// not listed, so the sizes asked are random.
void kindsForBenchmark(benchmark::State& state) {
    HashListReport report;
    const HashIndex index = loadList(g_corpus->sizedList, report);
    std::mt19937_64 random(3);
    std::vector<std::uint64_t> sizes(1 << 16);
    for (std::uint64_t& size : sizes) {
        size = random() % kMaxListedSize;
    }
    std::size_t next = 0;
    std::uint64_t hits = 0;
    for (auto _ : state) {
        const platform::HashKinds kinds = index.kindsFor(sizes[next], kMaxListedSize);
        hits += kinds != 0 ? 1 : 0;
        next = (next + 1) & (sizes.size() - 1);
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

template <class Function, class... Args>
benchmark::internal::Benchmark* add(const std::string& name, Function function, Args... args) {
    return benchmark::RegisterBenchmark(name.c_str(), function, args...)->UseRealTime();
}

void registerBenchmarks() {
    using platform::HashKind;
    using platform::kindBit;
    add("digest/md5/1MiB", hashKinds, kindBit(HashKind::Md5));
    add("digest/sha1/1MiB", hashKinds, kindBit(HashKind::Sha1));
    add("digest/sha256/1MiB", hashKinds, kindBit(HashKind::Sha256));
    add("digest/all3/1MiB", hashKinds, platform::kAllHashKinds);
    add("digest/sodiumSha256/1MiB", sodiumSha256);

    add("hashList/load1M/sized", loadBenchmark, &g_corpus->sizedList)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    add("hashList/load1M/unsized", loadBenchmark, &g_corpus->unsizedList)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    add("hashList/kindsFor/1M", kindsForBenchmark);
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
        std::cerr << "hash_bench: " << e.what() << '\n';
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
