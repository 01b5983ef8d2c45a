// The guard as a user runs it: `kesto guard` started as a program of its own over a private tmpfs
// (testsupport::PrivateTmpfs), and programs started, written and killed around it. Only that
// tmpfs is ever watched.

#include "cli/Commands.h"
#include "engine/KestoEngine.h"
#include "engine/clsCRC.h"
#include "testsupport/CommandRun.h"
#include "testsupport/PrivateTmpfs.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/Unprivileged.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using testsupport::writeFile;

namespace {

using Clock = std::chrono::steady_clock;

// What a started program's exit status says when its start was refused.
constexpr int kRefused = 77;
constexpr int kNotStarted = 78;

std::string checksumOf(const std::string& content) {
    return ChecksumText(clsCRC().CalculateBytes(content));
}

/// Starts `path` in a child and waits for it: its exit status, kRefused when the system refused
/// to start it with "Operation not permitted".
int runProgram(const std::string& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
        ::execv(path.c_str(), argv);
        ::_exit(errno == EPERM ? kRefused : kNotStarted);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// The number of descriptors process `pid` holds open.
std::size_t openDescriptors(pid_t pid) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        ++count;
    }
    return count;
}

/// A field of /proc/PID/status in kB (VmRSS, VmHWM).
[[maybe_unused]] long statusKb(pid_t pid, const std::string& field) {
    const std::string text = testsupport::readFile("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = text.find(field + ":");
    return at == std::string::npos ? -1 : std::stol(text.substr(at + field.size() + 1));
}

class GuardCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!tmpfs.skipReason().empty()) {
            GTEST_SKIP() << tmpfs.skipReason();
        }
        // A small program and a script, each listed, and an unlisted copy of the program.
        const std::string program = testsupport::readFile("/usr/bin/true");
        ASSERT_FALSE(program.empty());
        writeProgram("watched/listed", program);
        writeProgram("watched/unlisted", program + std::string(1, '\0'));
        writeProgram("watched/listed.sh", script);
        writeFile(database,
                  testsupport::databaseText(
                      {checksumOf(program) + ":Test.Program", checksumOf(script) + ":Test.Script",
                       checksumOf(written) + ":Test.Written", "Selesai:Selesai"}));
        ::mkdir(tmpfs.file("Karantina").c_str(), 0700);
    }

    void TearDown() override {
        if (guard > 0) {
            ::kill(guard, SIGKILL);
            ::waitpid(guard, nullptr, 0);
        }
    }

    void writeProgram(const std::string& relative, const std::string& content) {
        writeFile(tmpfs.file(relative), content);
        ASSERT_EQ(::chmod(tmpfs.file(relative).c_str(), 0755), 0);
    }

    /// Starts `kesto guard` over the watched folder with `extra` options and waits until it
    /// watches (its status file is written once every mark is in place).
    void startGuard(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments = {KESTO_BIN_DIR "/kesto",
                                              "guard",
                                              "--watch",
                                              tmpfs.file("watched"),
                                              "--database",
                                              database,
                                              "--state-dir",
                                              state.path(),
                                              "--log",
                                              state.file("guard.log"),
                                              "--quarantine-dir",
                                              tmpfs.file("Karantina"),
                                              "--no-cache"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const std::string errors = state.file("stderr");
        guard = ::fork();
        if (guard == 0) {
            const int errorFile = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(errorFile, STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& argument : arguments) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(kNotStarted);
        }
        const Clock::time_point until = Clock::now() + 10s;
        while (!std::filesystem::exists(state.file("guard.json")) && Clock::now() < until) {
            int status = 0;
            ASSERT_EQ(::waitpid(guard, &status, WNOHANG), 0)
                << "the guard ended: " << testsupport::readFile(errors);
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_TRUE(std::filesystem::exists(state.file("guard.json")))
            << testsupport::readFile(errors);
    }

    /// Stops the guard as systemd does (SIGTERM) and returns its exit status.
    int stopGuard() {
        ::kill(guard, SIGTERM);
        int status = 0;
        ::waitpid(guard, &status, 0);
        guard = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    /// Waits up to `limit` for the guard's log to hold `text`; the time it took, or none.
    std::optional<Clock::duration> logged(const std::string& text, Clock::time_point since,
                                          Clock::duration limit = 5s) {
        while (Clock::now() - since < limit) {
            if (testsupport::readFile(state.file("guard.log")).find(text) != std::string::npos) {
                return Clock::now() - since;
            }
            std::this_thread::sleep_for(5ms);
        }
        return std::nullopt;
    }

    testsupport::PrivateTmpfs tmpfs;
    testsupport::TempDir state;
    // Readable by everyone, for the test that runs the guard without root.
    std::string database = tmpfs.file("db.dll");
    std::string script = "#!/bin/sh\nexit 0\n";
    std::string written = "content written by a test, listed";
    pid_t guard = -1;
};

} // namespace

TEST_F(GuardCommandTest, ListedProgramsAndScriptsCannotStartUntilTheGuardDies) {
    startGuard();
    EXPECT_EQ(runProgram(tmpfs.file("watched/listed")), kRefused);
    EXPECT_EQ(runProgram(tmpfs.file("watched/listed.sh")), kRefused);
    EXPECT_EQ(runProgram(tmpfs.file("watched/unlisted")), 0);
    ASSERT_TRUE(logged("\"denied\"", Clock::now()));

    // A guard that dies leaves nothing behind that could stop a program.
    ::kill(guard, SIGKILL);
    ::waitpid(guard, nullptr, 0);
    guard = -1;
    EXPECT_EQ(runProgram(tmpfs.file("watched/listed")), 0);
    EXPECT_EQ(runProgram(tmpfs.file("watched/listed.sh")), 0);
    EXPECT_EQ(runProgram(tmpfs.file("watched/unlisted")), 0);
}

TEST_F(GuardCommandTest, StatusShowsWhatWasStoppedAndAStoppedGuard) {
    startGuard();
    EXPECT_EQ(runProgram(tmpfs.file("watched/listed")), kRefused);
    // The status file is rewritten every second.
    const auto status = [&] {
        return testsupport::runCommand(
            runKesto, std::vector<std::string>{"guard", "status", "--state-dir", state.path()});
    };
    testsupport::CommandRun run;
    for (int i = 0; i < 300 && run.out.find("Test.Program") == std::string::npos; ++i) {
        std::this_thread::sleep_for(10ms);
        run = status();
    }
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out.find("not running"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(tmpfs.file("watched/listed")), std::string::npos) << run.out;
    EXPECT_EQ(stopGuard(), 0);
    run = status();
    EXPECT_NE(run.out.find("not running"), std::string::npos) << run.out;
}

TEST_F(GuardCommandTest, ListedWrittenFilesAreReportedOrQuarantinedAtOnce) {
    startGuard({"--on-detection", "quarantine"});
    const Clock::time_point closed = Clock::now();
    writeFile(tmpfs.file("watched/download.txt"), written);
    const auto took = logged("\"quarantined\"", closed);
    ASSERT_TRUE(took) << testsupport::readFile(state.file("guard.log"));
    EXPECT_LT(*took, 1s);
    EXPECT_FALSE(std::filesystem::exists(tmpfs.file("watched/download.txt")));
    EXPECT_EQ(testsupport::readFile(tmpfs.file("Karantina/download.txt_vir")), written);
}

TEST_F(GuardCommandTest, AStormOfUsesIsAnsweredInTimeWithBoundedResources) {
    startGuard();
    const std::size_t descriptorsBefore = openDescriptors(guard);
    // Eight processes: 20,000 files written and 2,000 programs started in all.
    std::vector<pid_t> workers;
    for (int worker = 0; worker < 8; ++worker) {
        const pid_t child = ::fork();
        if (child == 0) {
            const std::string folder = tmpfs.file("watched/storm" + std::to_string(worker));
            ::mkdir(folder.c_str(), 0755);
            for (int i = 0; i < 2500; ++i) {
                const std::string path = folder + "/" + std::to_string(i % 50);
                const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                if (fd < 0 || ::write(fd, "storm", 5) != 5) {
                    ::_exit(kNotStarted);
                }
                ::close(fd);
                if (i % 10 == 0 && runProgram(tmpfs.file("watched/unlisted")) != 0) {
                    ::_exit(kRefused);
                }
            }
            ::_exit(0);
        }
        workers.push_back(child);
    }
    // A canary keeps starting a program meanwhile; none waits past the deadline (1 s) by much.
    Clock::duration longest{};
    int canaries = 0;
    for (bool busy = true; busy;) {
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(runProgram(tmpfs.file("watched/unlisted")), 0);
        longest = std::max(longest, Clock::now() - start);
        ++canaries;
        busy = false;
        for (const pid_t worker : workers) {
            busy = busy || ::waitpid(worker, nullptr, WNOHANG) == 0;
        }
    }
    for (const pid_t worker : workers) {
        int status = 0;
        ::waitpid(worker, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_LT(longest, 1500ms) << canaries << " canaries";
    // Every event answered and let go: the guard holds what it held before, and stayed small.
    std::this_thread::sleep_for(500ms);
    EXPECT_LE(openDescriptors(guard), descriptorsBefore + 1);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // A sanitizer's shadow memory would count here too.
    EXPECT_LT(statusKb(guard, "VmHWM"), 64 * 1024);
#endif
    EXPECT_EQ(runProgram(tmpfs.file("watched/listed")), kRefused);
}

TEST_F(GuardCommandTest, RefusesPlainlyWhatItCannotDo) {
    const auto guardRun = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "guard");
        return testsupport::runCommand(runKesto, arguments);
    };
    const auto missing = guardRun({"--watch", tmpfs.file("missing"), "--database", database});
    EXPECT_EQ(missing.code, kExitError);
    EXPECT_NE(missing.err.find("cannot watch"), std::string::npos) << missing.err;
    EXPECT_EQ(guardRun({"--deadline", "0", "--watch", tmpfs.path()}).code, kExitError);
    EXPECT_EQ(guardRun({"--on-detection", "delete", "--watch", tmpfs.path()}).code, kExitError);
    EXPECT_EQ(guardRun({"status", "extra"}).code, kExitError);

    // Without root the system refuses to let it listen: said, not half started.
    const std::string watched = tmpfs.file("watched");
    const std::string stateFolder = state.file("unprivileged");
    const int code = testsupport::runUnprivileged([&] {
        const auto run = guardRun({"--watch", watched, "--database", database, "--state-dir",
                                   stateFolder, "--log", "/dev/null"});
        const bool said = run.err.find("root") != std::string::npos;
        return said ? run.code : 100;
    });
    EXPECT_EQ(code, kExitError);
    EXPECT_FALSE(std::filesystem::exists(stateFolder));
}
