// guard_bench: the load run_guard_bench.sh puts on `kesto guard`, and what a process waiting for
// the guard sees of it. Three commands:
//
//   guard_bench exec PROGRAM ITERATIONS [WARMUP]
//       runs PROGRAM (which should end at once) ITERATIONS times, one after the other, each as
//       fork + execve + waitpid, after WARMUP untimed runs (default 50); prints the median, the
//       90th percentile, the fastest and the slowest run in microseconds. `guard_bench exec
//       PROGRAM 1 0` tells whether the program may run at all (`denied 1` when it may not).
//   guard_bench storm FOLDER PROGRAM [--workers N] [--writes N] [--execs N]
//       N worker processes (default 8) share N file writes (default 20,000: each a new file in
//       FOLDER opened with O_WRONLY|O_CREAT|O_TRUNC, a few bytes written, closed) and N runs of
//       PROGRAM (default 2,000), spread evenly among the writes; meanwhile a canary process runs
//       PROGRAM over and over and times each run. Prints the counts, the storm's wall time and
//       the canary's median, 99th percentile and longest run in microseconds.
//   guard_bench listen FOLDER READY_FILE [--resolve]
//       the least a guard can do, for comparison: marks FOLDER's whole file system for permission
//       to run programs, writes READY_FILE once the mark is in place, and allows every request as
//       soon as it is read (a blocking read), on one thread, until SIGTERM or SIGINT; then prints
//       how many it answered. With --resolve it also makes the system calls kesto guard makes
//       for every request before it can answer: it waits with poll (on the group and an eventfd
//       that wakes it), names the file by reading the link /proc/self/fd/N and takes its status
//       (fstat). Needs root. Ending it any way leaves the system allowing everything.
//
// Output lines are `key value`. A run counts as denied when execve fails with EPERM or EACCES (the
// child ends with 126), as failed when the program does not end with status 0 otherwise; only
// runs that ran are timed. Exit status 0 when every run and write succeeded, 1 otherwise, 2 on
// bad usage.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void usage() {
    std::fprintf(stderr, "Usage: guard_bench exec PROGRAM ITERATIONS [WARMUP]\n"
                         "       guard_bench storm FOLDER PROGRAM [--workers N] [--writes N] "
                         "[--execs N]\n"
                         "       guard_bench listen FOLDER READY_FILE [--resolve]\n");
}

/// A whole number from 0 up, or -1 when the text is not one.
long long wholeNumber(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0) {
        return -1;
    }
    return value;
}

/// How a run of the program ended.
enum class Outcome { Ran, Denied, Failed };

struct Run {
    Outcome outcome = Outcome::Failed;
    double micros = 0; ///< from before the fork to after the wait
};

/// Runs the program once: fork, execve, waitpid. It ran when it ended with status 0; it was
/// denied when execve failed with EPERM or EACCES.
Run runOnce(const char* program) {
    const Clock::time_point start = Clock::now();
    const pid_t child = ::fork();
    if (child < 0) {
        return {};
    }
    if (child == 0) {
        char* const arguments[] = {const_cast<char*>(program), nullptr};
        char* const environment[] = {nullptr};
        ::execve(program, arguments, environment);
        ::_exit(errno == EPERM || errno == EACCES ? 126 : 127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return {};
        }
    }
    Run run;
    run.micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.outcome = code == 0 ? Outcome::Ran : code == 126 ? Outcome::Denied : Outcome::Failed;
    return run;
}

/// The value at fraction `at` (0 to 1) of the sorted times, nearest rank.
double percentile(const std::vector<double>& sorted, double at) {
    if (sorted.empty()) {
        return 0;
    }
    const auto rank = static_cast<std::size_t>(at * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(rank, sorted.size() - 1)];
}

double median(const std::vector<double>& sorted) {
    if (sorted.empty()) {
        return 0;
    }
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

int execCommand(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        usage();
        return 2;
    }
    const char* program = argv[2];
    const long long iterations = wholeNumber(argv[3]);
    const long long warmup = argc == 5 ? wholeNumber(argv[4]) : 50;
    if (iterations < 1 || warmup < 0) {
        usage();
        return 2;
    }
    long long denied = 0;
    long long failed = 0;
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(iterations));
    for (long long i = 0; i < warmup + iterations; ++i) {
        const Run run = runOnce(program);
        denied += run.outcome == Outcome::Denied ? 1 : 0;
        failed += run.outcome == Outcome::Failed ? 1 : 0;
        if (run.outcome == Outcome::Ran && i >= warmup) {
            times.push_back(run.micros);
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("iterations %lld\nran %zu\ndenied %lld\nfailed %lld\n", iterations, times.size(),
                denied, failed);
    std::printf("median_us %.1f\np90_us %.1f\n", median(times), percentile(times, 0.9));
    std::printf("min_us %.1f\nmax_us %.1f\n", times.empty() ? 0.0 : times.front(),
                times.empty() ? 0.0 : times.back());
    return denied == 0 && failed == 0 ? 0 : 1;
}

// The canary's runs kept for its percentiles; later runs count towards the longest only.
constexpr std::size_t kCanaryTimes = 1 << 20;

/// What the processes of a storm share (an anonymous shared mapping made before the forks).
struct Shared {
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> writeFailures{0};
    std::atomic<std::uint64_t> execFailures{0};
    std::atomic<std::uint64_t> canaryRuns{0};
    std::atomic<std::uint64_t> canaryFailures{0};
    double canaryLongestUs = 0;
    double canaryTimes[kCanaryTimes];
};

/// One worker: `writes` new files in `folder` and `execs` runs of the program among them.
void worker(Shared& shared, const std::string& folder, int index, long long writes, long long execs,
            const char* program) {
    long long ran = 0;
    const std::string prefix = folder + "/w" + std::to_string(index) + "-";
    for (long long i = 0; i < writes; ++i) {
        const std::string path = prefix + std::to_string(i) + ".txt";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const std::string text = "storm " + std::to_string(index) + " " + std::to_string(i) + "\n";
        if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            shared.writeFailures.fetch_add(1);
        }
        if (fd >= 0 && ::close(fd) != 0) {
            shared.writeFailures.fetch_add(1);
        }
        // Runs spread evenly: after write i, as many as (i + 1) / writes of the share asks.
        for (; ran < (i + 1) * execs / writes; ++ran) {
            if (runOnce(program).outcome != Outcome::Ran) {
                shared.execFailures.fetch_add(1);
            }
        }
    }
    for (; ran < execs; ++ran) {
        if (runOnce(program).outcome != Outcome::Ran) {
            shared.execFailures.fetch_add(1);
        }
    }
}

/// The canary: runs the program until told to stop, at least once, timing every run.
void canary(Shared& shared, const char* program) {
    do {
        const Run run = runOnce(program);
        const std::uint64_t index = shared.canaryRuns.fetch_add(1);
        if (run.outcome != Outcome::Ran) {
            shared.canaryFailures.fetch_add(1);
            continue;
        }
        if (index < kCanaryTimes) {
            shared.canaryTimes[index] = run.micros;
        }
        shared.canaryLongestUs = std::max(shared.canaryLongestUs, run.micros);
    } while (!shared.stop.load());
}

bool waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int stormCommand(int argc, char** argv) {
    if (argc < 4) {
        usage();
        return 2;
    }
    const std::string folder = argv[2];
    const char* program = argv[3];
    long long workers = 8;
    long long writes = 20'000;
    long long execs = 2'000;
    for (int i = 4; i < argc; i += 2) {
        const std::string_view option = argv[i];
        const long long value = i + 1 < argc ? wholeNumber(argv[i + 1]) : -1;
        long long* target = option == "--workers"  ? &workers
                            : option == "--writes" ? &writes
                            : option == "--execs"  ? &execs
                                                   : nullptr;
        if (target == nullptr || value < 0) {
            usage();
            return 2;
        }
        *target = value;
    }
    if (workers < 1 || writes < workers) {
        std::fprintf(stderr, "guard_bench: storm needs a worker or more and a write per worker\n");
        return 2;
    }
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "guard_bench: cannot make %s: %s\n", folder.c_str(),
                     std::strerror(errno));
        return 1;
    }
    void* memory =
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        std::fprintf(stderr, "guard_bench: cannot map shared memory: %s\n", std::strerror(errno));
        return 1;
    }
    Shared& shared = *new (memory) Shared;

    const pid_t canaryPid = ::fork();
    if (canaryPid == 0) {
        canary(shared, program);
        ::_exit(0);
    }
    const Clock::time_point start = Clock::now();
    std::vector<pid_t> children;
    for (long long w = 0; w < workers; ++w) {
        // Each worker's share; the first ones take the remainders.
        const long long myWrites = writes / workers + (w < writes % workers ? 1 : 0);
        const long long myExecs = execs / workers + (w < execs % workers ? 1 : 0);
        const pid_t child = ::fork();
        if (child == 0) {
            worker(shared, folder, static_cast<int>(w), myWrites, myExecs, program);
            ::_exit(0);
        }
        if (child > 0) {
            children.push_back(child);
        }
    }
    bool allEnded = children.size() == static_cast<std::size_t>(workers) && canaryPid > 0;
    for (const pid_t child : children) {
        allEnded = waitFor(child) && allEnded;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    shared.stop.store(true);
    if (canaryPid > 0) {
        allEnded = waitFor(canaryPid) && allEnded;
    }

    const std::uint64_t runs = shared.canaryRuns.load();
    std::vector<double> times(shared.canaryTimes,
                              shared.canaryTimes + std::min<std::uint64_t>(runs, kCanaryTimes));
    std::sort(times.begin(), times.end());
    const std::uint64_t writeFailures = shared.writeFailures.load();
    const std::uint64_t execFailures = shared.execFailures.load();
    const std::uint64_t canaryFailures = shared.canaryFailures.load();
    std::printf("workers %lld\nwrites %lld\nwrite_failures %" PRIu64 "\n", workers, writes,
                writeFailures);
    std::printf("execs %lld\nexec_failures %" PRIu64 "\nseconds %.3f\n", execs, execFailures,
                seconds);
    std::printf("canary_execs %" PRIu64 "\ncanary_failures %" PRIu64 "\n", runs, canaryFailures);
    std::printf("canary_median_us %.1f\ncanary_p99_us %.1f\ncanary_longest_us %.1f\n",
                median(times), percentile(times, 0.99), shared.canaryLongestUs);
    ::munmap(memory, sizeof(Shared));
    if (!allEnded) {
        std::fprintf(stderr, "guard_bench: a worker or the canary did not end cleanly\n");
    }
    return allEnded && writeFailures == 0 && execFailures == 0 && canaryFailures == 0 ? 0 : 1;
}

// Requests answered by `listen`, printed by its signal handler.
std::atomic<std::uint64_t> g_answered{0};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

/// Ends `listen`: prints the count and exits at once, whatever the main loop is waiting for.
/// Exiting closes the group, and the system allows every request still waiting.
void onStop(int) {
    char text[40] = "answered ";
    std::size_t length = 9;
    char digits[21];
    std::size_t count = 0;
    for (std::uint64_t n = g_answered.load(); count == 0 || n != 0; n /= 10) {
        digits[count++] = static_cast<char>('0' + n % 10);
    }
    while (count > 0) {
        text[length++] = digits[--count];
    }
    text[length++] = '\n';
    (void)!::write(STDOUT_FILENO, text, length);
    ::_exit(0);
}

int listenCommand(int argc, char** argv) {
    const bool resolve = argc == 5 && std::string_view(argv[4]) == "--resolve";
    if (argc != 4 && !resolve) {
        usage();
        return 2;
    }
    const int group = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_LARGEFILE);
    if (group < 0) {
        std::fprintf(stderr, "guard_bench: fanotify_init: %s\n", std::strerror(errno));
        return 1;
    }
    const int wake = ::eventfd(0, EFD_CLOEXEC);
    if (wake < 0 || ::fanotify_mark(group, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, FAN_OPEN_EXEC_PERM,
                                    AT_FDCWD, argv[2]) != 0) {
        std::fprintf(stderr, "guard_bench: cannot mark %s: %s\n", argv[2], std::strerror(errno));
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onStop;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    const int ready = ::open(argv[3], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (ready < 0) {
        std::fprintf(stderr, "guard_bench: cannot write %s: %s\n", argv[3], std::strerror(errno));
        return 1;
    }
    ::close(ready);
    alignas(fanotify_event_metadata) unsigned char buffer[64 * sizeof(fanotify_event_metadata)];
    for (;;) {
        if (resolve) {
            pollfd waits[2] = {{group, POLLIN, 0}, {wake, POLLIN, 0}};
            if (::poll(waits, 2, 1000) <= 0 || (waits[0].revents & POLLIN) == 0) {
                continue;
            }
        }
        const ssize_t got = ::read(group, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno != EINTR && errno != EAGAIN) {
                std::fprintf(stderr, "guard_bench: read: %s\n", std::strerror(errno));
                return 1;
            }
            continue;
        }
        auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
        for (ssize_t left = got; FAN_EVENT_OK(event, left); event = FAN_EVENT_NEXT(event, left)) {
            if (event->fd < 0) {
                continue;
            }
            if (resolve) {
                char link[32];
                char path[4096];
                std::snprintf(link, sizeof link, "/proc/self/fd/%d", event->fd);
                struct stat status = {};
                if (::readlink(link, path, sizeof path) < 0 || ::fstat(event->fd, &status) != 0) {
                    std::fprintf(stderr, "guard_bench: cannot name or stat a request's file\n");
                }
            }
            const fanotify_response reply{event->fd, FAN_ALLOW};
            if (::write(group, &reply, sizeof reply) == sizeof reply) {
                g_answered.fetch_add(1);
            }
            ::close(event->fd);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "exec") {
        return execCommand(argc, argv);
    }
    if (command == "storm") {
        return stormCommand(argc, argv);
    }
    if (command == "listen") {
        return listenCommand(argc, argv);
    }
    usage();
    return 2;
}
