// How large the verdict cache's own store grows for many files, and how fast it answers: writes
// N entries through VerdictStore in the batches a scan writes, with inode numbers as a folder
// walk meets them (increasing runs within folders spread over the volume), then looks every one
// up and as many absent ones. Prints the store's size on disk and the rates. See README.md.
#include "cache/VerdictStore.h"
#include "platform/FolderHandle.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unordered_set>
#include <vector>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Inode numbers in walk order: folders of 1 to 200 files, each folder's files numbered upwards
/// from a place of its own on the volume.
std::vector<std::uint64_t> walkOrderInodes(std::size_t count, std::mt19937_64& random) {
    std::vector<std::uint64_t> inodes;
    inodes.reserve(count);
    std::uniform_int_distribution<std::uint64_t> place(1, 1ull << 26);
    std::uniform_int_distribution<std::size_t> folderSize(1, 200);
    // A few more than asked for, as numbers two folders share are dropped below.
    const std::size_t wanted = count + count / 50;
    while (inodes.size() < wanted) {
        std::uint64_t inode = place(random);
        for (std::size_t n = folderSize(random); n > 0 && inodes.size() < wanted; --n) {
            inodes.push_back(inode);
            inode += 1 + random() % 3;
        }
    }
    // Two folders may share numbers; a store keeps one entry per file.
    std::unordered_set<std::uint64_t> seen;
    std::erase_if(inodes, [&seen](std::uint64_t inode) { return !seen.insert(inode).second; });
    inodes.resize(std::min(inodes.size(), count));
    return inodes;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t count = 1'000'000;
    std::string folderPath;
    std::uint64_t limitMiB = 256;
    std::size_t batchSize = 8192; // as VerdictCache writes
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--entries" && i + 1 < argc) {
            count = std::strtoull(argv[++i], nullptr, 10);
        } else if (argument == "--dir" && i + 1 < argc) {
            folderPath = argv[++i];
        } else if (argument == "--batch" && i + 1 < argc) {
            batchSize = std::max<std::size_t>(1, std::strtoull(argv[++i], nullptr, 10));
        } else if (argument == "--limit-mib" && i + 1 < argc) {
            limitMiB = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::fprintf(
                stderr,
                "usage: cache_store_size [--entries N] [--batch N] [--dir DIR] [--limit-mib M]\n");
            return 2;
        }
    }
    const bool ownFolder = folderPath.empty();
    if (ownFolder) {
        folderPath = (std::filesystem::temp_directory_path() / "kesto-cache-size").string();
        std::filesystem::remove_all(folderPath);
    }
    std::filesystem::create_directories(folderPath);
    std::filesystem::permissions(folderPath, std::filesystem::perms::owner_all);
    platform::FolderHandle folder;
    if (folder.openPath(folderPath)) {
        std::fprintf(stderr, "cannot open %s\n", folderPath.c_str());
        return 2;
    }
    std::string warning;
    std::error_code error;
    auto store = VerdictStore::Open(folder, limitMiB << 20, warning, error);
    if (!store) {
        std::fprintf(stderr, "cannot open the store: %s\n", error.message().c_str());
        return 2;
    }

    std::mt19937_64 random(1);
    const std::vector<std::uint64_t> inodes = walkOrderInodes(count, random);
    const std::string fingerprint(64, 'f');
    std::vector<PendingVerdict> batch;
    auto start = std::chrono::steady_clock::now();
    const std::uint32_t serial = store->startScan();
    for (std::size_t i = 0; i < inodes.size(); ++i) {
        PendingVerdict entry;
        entry.volumeId = 0x1234;
        entry.device = 0x801;
        entry.inode = inodes[i];
        entry.record.stamp = {4096 + i % 100'000, 1'700'000'000'000'000'000 + std::int64_t(i)};
        entry.record.facts.checksum = static_cast<std::uint32_t>(random());
        entry.record.facts.mayBeRunning = false;
        batch.push_back(entry);
        if (batch.size() == batchSize || i + 1 == inodes.size()) {
            if (const auto failed = store->write(fingerprint, serial, batch)) {
                std::fprintf(stderr, "write failed: %s\n", failed.message().c_str());
                return 1;
            }
            batch.clear();
        }
    }
    const double writeSeconds = secondsSince(start);
    const VerdictStoreStats stats = store->stats();

    const auto volume = store->findVolume(fingerprint, 0x1234, 0x801);
    std::vector<std::uint64_t> order = inodes;
    std::shuffle(order.begin(), order.end(), random);
    std::size_t found = 0;
    start = std::chrono::steady_clock::now();
    for (const std::uint64_t inode : order) {
        found += store->find(fingerprint, volume.value_or(0), inode) ? 1 : 0;
    }
    const double findSeconds = secondsSince(start);
    std::size_t absent = 0;
    start = std::chrono::steady_clock::now();
    for (const std::uint64_t inode : order) {
        absent += store->find(fingerprint, volume.value_or(0), inode + (1ull << 40)) ? 0 : 1;
    }
    const double absentSeconds = secondsSince(start);

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("entries written   %zu in %.2f s (%.0f/s)\n", inodes.size(), writeSeconds,
                static_cast<double>(inodes.size()) / writeSeconds);
    std::printf("entries in store  %llu\n", static_cast<unsigned long long>(stats.entries));
    std::printf("store on disk     %.1f MB (%.1f bytes per entry)\n",
                static_cast<double>(stats.bytes) / 1e6,
                static_cast<double>(stats.bytes) / static_cast<double>(stats.entries));
    std::printf("lookups, found    %zu of %zu in %.2f s (%.2f us each)\n", found, order.size(),
                findSeconds, findSeconds * 1e6 / static_cast<double>(order.size()));
    std::printf("lookups, absent   %zu in %.2f s (%.2f us each)\n", absent, absentSeconds,
                absentSeconds * 1e6 / static_cast<double>(order.size()));
    std::printf("peak RSS          %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    store.reset();
    if (ownFolder) {
        std::filesystem::remove_all(folderPath);
    }
    return found == inodes.size() && absent == inodes.size() ? 0 : 1;
}
