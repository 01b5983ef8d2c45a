// yara_scan_bench: times YaraRules over every file of a folder as a scan runs it: each file read
// whole into a buffer its thread reuses, then scanned, on N threads. run_yara_bench.sh times the
// yara tool next to it on the same rules and folder.
//
//   yara_scan_bench [--threads N] [--timeout S] [--max-size BYTES] [--list] RULES TREE
//
// Prints the compile time, then the files, bytes, matches and the wall time of the scan;
// --list also prints the path of every file a rule matches, one a line, to compare with yara's.

#include "signatures/YaraRules.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
    unsigned threads = 2;
    int timeout = 10;
    std::uint64_t maxSize = 16ull << 20;
    bool list = false;
    std::string rules;
    std::string tree;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// A read buffer that grows without filling its new bytes, unlike std::string::resize.
struct ReadBuffer {
    std::unique_ptr<char[]> data;
    std::size_t capacity = 0;
    std::size_t used = 0;
};

/// Reads the whole file into `buffer`; false when it cannot be read or is larger than `maxSize`.
bool readWhole(const std::string& path, std::uint64_t maxSize, ReadBuffer& buffer) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat facts {};
    if (::fstat(fd, &facts) != 0 || static_cast<std::uint64_t>(facts.st_size) > maxSize) {
        ::close(fd);
        return false;
    }
    // One byte more than the size, to see a file that grew.
    const std::size_t wanted = static_cast<std::size_t>(facts.st_size) + 1;
    if (buffer.capacity < wanted) {
        buffer.capacity = std::max(wanted, buffer.capacity * 2);
        buffer.data = std::make_unique_for_overwrite<char[]>(buffer.capacity);
    }
    buffer.used = 0;
    bool ok = true;
    while (buffer.used < wanted) {
        const ssize_t got = ::read(fd, buffer.data.get() + buffer.used, wanted - buffer.used);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        buffer.used += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return ok && buffer.used <= maxSize;
}

bool parseOptions(int argc, char** argv, Options& options) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--threads" && hasValue) {
            options.threads = static_cast<unsigned>(std::max(1L, std::atol(argv[++i])));
        } else if (option == "--timeout" && hasValue) {
            options.timeout = std::atoi(argv[++i]);
        } else if (option == "--max-size" && hasValue) {
            options.maxSize = std::strtoull(argv[++i], nullptr, 10);
        } else if (option == "--list") {
            options.list = true;
        } else if (!option.starts_with("--")) {
            positional.push_back(option);
        } else {
            return false;
        }
    }
    if (positional.size() != 2) {
        return false;
    }
    options.rules = positional[0];
    options.tree = positional[1];
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::cerr << "usage: yara_scan_bench [--threads N] [--timeout S] [--max-size BYTES] "
                     "[--list] RULES TREE\n";
        return 2;
    }
    std::ifstream rulesFile(options.rules, std::ios::binary);
    std::ostringstream rulesText;
    rulesText << rulesFile.rdbuf();
    if (!rulesFile) {
        std::cerr << "yara_scan_bench: cannot read " << options.rules << '\n';
        return 1;
    }

    auto start = std::chrono::steady_clock::now();
    std::vector<YaraProblem> problems;
    std::vector<std::size_t> counts;
    const auto rules = YaraRules::Compile({{options.rules, rulesText.str()}}, problems, counts);
    const double compileSeconds = secondsSince(start);
    for (const YaraProblem& problem : problems) {
        std::cerr << problem.message << '\n';
    }
    if (!rules) {
        return 1;
    }
    std::cerr << "compiled " << counts[0] << " rules in " << compileSeconds << " s\n";

    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(options.tree)) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            paths.push_back(entry.path().string());
        }
    }

    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::size_t> matched{0};
    std::atomic<std::size_t> skipped{0};
    std::atomic<std::size_t> timedOut{0};
    std::atomic<std::size_t> failed{0};
    std::mutex listMutex;
    std::vector<std::string> listed;
    start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < options.threads; ++t) {
        threads.emplace_back([&] {
            ReadBuffer buffer;
            for (std::size_t i = next++; i < paths.size(); i = next++) {
                const std::string& path = paths[i];
                if (!readWhole(path, options.maxSize, buffer)) {
                    ++skipped;
                    continue;
                }
                bytes += buffer.used;
                const fs::path name(path);
                const std::string filename = name.filename().string();
                std::string extension = name.extension().string();
                if (!extension.empty()) {
                    extension.erase(0, 1);
                }
                const auto result = rules->scan(std::string_view(buffer.data.get(), buffer.used),
                                                {filename, path, extension}, options.timeout);
                switch (result.outcome) {
                case YaraRules::Outcome::Matched:
                    ++matched;
                    if (options.list) {
                        const std::lock_guard lock(listMutex);
                        listed.push_back(path);
                    }
                    break;
                case YaraRules::Outcome::TimedOut:
                    ++timedOut;
                    break;
                case YaraRules::Outcome::Failed:
                    ++failed;
                    break;
                case YaraRules::Outcome::NoMatch:
                    break;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const double scanSeconds = secondsSince(start);
    std::sort(listed.begin(), listed.end());
    for (const std::string& path : listed) {
        std::printf("%s\n", path.c_str());
    }
    std::fprintf(stderr,
                 "files %zu, read %zu (%.1f MB), matched %zu, timed out %zu, failed %zu, "
                 "skipped %zu; scan %.3f s on %u threads (%.1f MB/s)\n",
                 paths.size(), paths.size() - skipped.load(), static_cast<double>(bytes) / 1e6,
                 matched.load(), timedOut.load(), failed.load(), skipped.load(), scanSeconds,
                 options.threads, static_cast<double>(bytes) / 1e6 / scanSeconds);
    return failed == 0 ? 0 : 1;
}
