// tool_lists: how long the explorer and the task manager take to build their lists.
//
//   tool_lists make-folder FOLDER N   create N small files in FOLDER (made if missing)
//   tool_lists explorer FOLDER [RUNS] list FOLDER as the explorer does: read the names, sizes,
//                                     times and flags, then build the table rows and the three
//                                     summary lines; prints the best of RUNS (default 5)
//   tool_lists tasks [COUNT] [RUNS]   build the task manager's rows from the real /proc, then
//                                     from COUNT (default 2000) processes: the real ones
//                                     repeated, each read from /proc as a fresh snapshot does
//
// Times are wall-clock milliseconds. See README.md for the comparison with `ls -l`.

#include "platform/FolderFiles.h"
#include "platform/Processes.h"
#include "scanner/ProcessTable.h"
#include "tools/Explorer.h"
#include "tools/TaskList.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

namespace {

double bestMs(int runs, const std::function<std::size_t()>& work, std::size_t& items) {
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        items = work();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

int makeFolder(const std::string& folder, long count) {
    std::filesystem::create_directories(folder);
    char name[64];
    for (long index = 0; index < count; ++index) {
        std::snprintf(name, sizeof name, "/file%06ld.%s", index, index % 3 == 0 ? "txt" : "dat");
        const int fd =
            ::open((folder + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror("open");
            return 1;
        }
        const std::string content(static_cast<std::size_t>(index % 4096), 'k');
        if (::write(fd, content.data(), content.size()) < 0) {
            std::perror("write");
        }
        ::close(fd);
    }
    return 0;
}

int explorer(const std::string& folder, int runs) {
    std::size_t rows = 0;
    const double ms = bestMs(
        runs,
        [&folder] {
            std::vector<platform::BrowseEntry> files;
            if (platform::listBrowseFiles(folder, files)) {
                return std::size_t{0};
            }
            const Explorer::Listing listing =
                Explorer::BuildListing(folder, files, Explorer::FilterAt(0));
            return listing.rows.size();
        },
        rows);
    std::printf("explorer listing: %zu files in %.1f ms (best of %d)\n", rows, ms, runs);
    return 0;
}

int tasks(long count, int runs) {
    std::size_t rows = 0;
    double ms = bestMs(
        runs, [] { return TaskList::SnapshotRows().size(); }, rows);
    std::printf("task rows, real /proc: %zu processes in %.2f ms (best of %d)\n", rows, ms, runs);

    const std::vector<std::int32_t> real = platform::listProcessIds();
    if (real.empty()) {
        return 1;
    }
    ms = bestMs(
        runs,
        [&real, count] {
            // Every row costs what a real snapshot pays per process: its stat, its path and
            // its row.
            std::vector<platform::ProcessInfo> processes;
            processes.reserve(static_cast<std::size_t>(count));
            for (long index = 0; index < count; ++index) {
                const std::int32_t pid = real[static_cast<std::size_t>(index) % real.size()];
                platform::ProcessInfo info;
                info.pid = pid;
                if (const auto stat = platform::processStat(pid)) {
                    info.startTime = stat->startTime;
                }
                info.name = "process" + std::to_string(index);
                processes.push_back(std::move(info));
            }
            return TaskList::BuildRows(processes, PathByPID).size();
        },
        rows);
    std::printf("task rows, injected list: %zu processes in %.2f ms (best of %d)\n", rows, ms,
                runs);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make-folder" && argc == 4) {
        return makeFolder(argv[2], std::atol(argv[3]));
    }
    if (mode == "explorer" && (argc == 3 || argc == 4)) {
        return explorer(argv[2], argc == 4 ? std::atoi(argv[3]) : 5);
    }
    if (mode == "tasks" && argc <= 4) {
        return tasks(argc > 2 ? std::atol(argv[2]) : 2000, argc > 3 ? std::atoi(argv[3]) : 5);
    }
    std::fprintf(stderr, "usage: tool_lists make-folder FOLDER N | explorer FOLDER [RUNS] | "
                         "tasks [COUNT] [RUNS]\n");
    return 2;
}
