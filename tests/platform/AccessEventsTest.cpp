#include "platform/AccessEvents.h"

#include "testsupport/PrivateTmpfs.h"
#include "testsupport/SampleFiles.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Every test watches only its own private tmpfs (see PrivateTmpfs.h), starts programs only in
// forked children, and answers every program start it reads.

namespace {

using platform::AccessEvent;
using platform::AccessKind;
using namespace std::chrono_literals;

constexpr int kExecFailed = 100; // a child whose exec failed exits with this plus errno

/// A forked child that runs `body`, which may only make async-signal-safe calls and must end
/// in _exit or exec. Killed and reaped if the test ends before it does.
class Child {
public:
    template <class Body> explicit Child(Body body) : m_pid(::fork()) {
        if (m_pid == 0) {
            body();
            ::_exit(127);
        }
    }
    ~Child() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    std::int32_t pid() const { return m_pid; }
    /// The exit code, or none when the child has not ended within `timeout`.
    std::optional<int> exitCode(std::chrono::milliseconds timeout = 10s) {
        if (m_pid <= 0) {
            return std::nullopt;
        }
        const auto end = std::chrono::steady_clock::now() + timeout;
        do {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(5ms);
        } while (std::chrono::steady_clock::now() < end);
        return std::nullopt;
    }

private:
    pid_t m_pid;
};

/// A child that runs the program at `path`; when the start fails, it exits with kExecFailed plus
/// the error number.
Child startProgram(const std::string& path) {
    return Child([program = path.c_str()] {
        char* const argv[] = {const_cast<char*>(program), nullptr};
        char* const envp[] = {nullptr};
        ::execve(program, argv, envp);
        ::_exit(kExecFailed + errno);
    });
}

void makeRunnable(const std::string& path) {
    std::filesystem::permissions(path, std::filesystem::perms(0755));
}

class AccessEvents : public ::testing::Test {
protected:
    testsupport::PrivateTmpfs tmpfs; // first: before any thread of the test exists
    std::unique_ptr<platform::AccessEvents> events;

    void SetUp() override {
        if (!tmpfs.skipReason().empty()) {
            GTEST_SKIP() << tmpfs.skipReason();
        }
        std::error_code error;
        events = platform::openAccessEvents(error);
        if (error == platform::AccessError::NeedsPrivilege) {
            GTEST_SKIP() << error.message();
        }
        ASSERT_TRUE(events) << error.message();
        const std::error_code watched = events->watch(tmpfs.path());
        ASSERT_FALSE(watched) << watched.message();
    }

    /// The next event of `kind`, waiting up to 10 s; events of other kinds on the way are
    /// allowed and closed.
    std::optional<AccessEvent> next(AccessKind kind) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < end) {
            std::vector<AccessEvent> got;
            if (events->wait(got, 1, 100)) {
                return std::nullopt;
            }
            for (const AccessEvent& event : got) {
                if (event.kind == kind) {
                    return event;
                }
                if (event.kind == AccessKind::Exec) {
                    (void)events->answer(event, true);
                }
                platform::closeAccessFile(event.file);
            }
        }
        return std::nullopt;
    }

    /// A copy of /bin/true in the tmpfs, and the events its writing gave read and closed.
    std::string copyOfTrue() {
        const std::string program = tmpfs.file("true");
        std::filesystem::copy_file("/bin/true", program);
        makeRunnable(program);
        if (const auto written = next(AccessKind::Written)) {
            platform::closeAccessFile(written->file);
        }
        return program;
    }
};

} // namespace

TEST_F(AccessEvents, ProgramsAndScriptsWaitForTheAnswer) {
    const std::string program = copyOfTrue();
    const std::string script = tmpfs.file("script");
    testsupport::writeFile(script, "#!/bin/sh\nexit 0\n");
    makeRunnable(script);
    for (const std::string& path : {program, script}) {
        for (const bool allow : {false, true}) {
            SCOPED_TRACE(path + (allow ? " allowed" : " denied"));
            Child child = startProgram(path);
            const std::optional<AccessEvent> event = next(AccessKind::Exec);
            ASSERT_TRUE(event);
            EXPECT_EQ(event->pid, child.pid());
            EXPECT_EQ(platform::openFilePath(event->file), path);
            const std::error_code answered = events->answer(*event, allow);
            platform::closeAccessFile(event->file);
            ASSERT_FALSE(answered) << answered.message();
            EXPECT_EQ(child.exitCode(), allow ? 0 : kExecFailed + EPERM);
        }
    }
}

TEST_F(AccessEvents, AFileClosedAfterWritingComesOpenForReadingWithItsWriter) {
    const std::string read = tmpfs.file("read");
    const std::string written = tmpfs.file("written");
    // This process's own writes are reported too, from any thread, with the process's id.
    testsupport::writeFile(read, "before");
    std::thread([&] { testsupport::writeFile(written, "first"); }).join();
    for (const std::string& path : {read, written}) {
        const std::optional<AccessEvent> own = next(AccessKind::Written);
        ASSERT_TRUE(own);
        EXPECT_EQ(platform::openFilePath(own->file), path);
        EXPECT_EQ(own->pid, platform::currentProcessId());
        platform::closeAccessFile(own->file);
    }

    Child child([read = read.c_str(), written = written.c_str()] {
        ::close(::open(read, O_RDONLY));
        const int output = ::open(written, O_WRONLY | O_TRUNC);
        const bool wrote = output >= 0 && ::write(output, "child", 5) == 5;
        ::close(output);
        ::_exit(wrote ? 0 : 1);
    });
    // Events come in order: the file that was only read gave none before this one.
    const std::optional<AccessEvent> event = next(AccessKind::Written);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->pid, child.pid());
    EXPECT_EQ(platform::openFilePath(event->file), written);
    char content[8] = {};
    EXPECT_EQ(::pread(event->file, content, sizeof content, 0), 5);
    EXPECT_STREQ(content, "child");
    platform::closeAccessFile(event->file);
    EXPECT_EQ(child.exitCode(), 0);
}

TEST_F(AccessEvents, WakeEndsTheWaitThatIsUnderWayOrTheNextOnceOnly) {
    std::vector<AccessEvent> got;
    auto timedWait = [&](int timeoutMs) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(events->wait(got, 8, timeoutMs));
        return std::chrono::steady_clock::now() - start;
    };
    events->wake();
    events->wake();
    EXPECT_LT(timedWait(10000), 5s);
    // Both wakes were used up by that wait.
    EXPECT_GE(timedWait(100), 90ms);

    std::thread waker([&] {
        std::this_thread::sleep_for(100ms);
        events->wake();
    });
    EXPECT_LT(timedWait(10000), 5s);
    waker.join();
    EXPECT_TRUE(got.empty());
}

TEST_F(AccessEvents, ProgramsLeftWaitingRunWhenTheListenerGoesAway) {
    const std::string program = copyOfTrue();
    // One start is read and left unanswered, the other never read. Both children hold the
    // listener's descriptor while their exec waits, so closing it alone would not free them.
    Child unanswered = startProgram(program);
    const std::optional<AccessEvent> event = next(AccessKind::Exec);
    ASSERT_TRUE(event);
    Child unread = startProgram(program);
    EXPECT_EQ(unanswered.exitCode(200ms), std::nullopt);
    EXPECT_EQ(unread.exitCode(10ms), std::nullopt);
    events.reset();
    platform::closeAccessFile(event->file);
    EXPECT_EQ(unanswered.exitCode(), 0);
    EXPECT_EQ(unread.exitCode(), 0);
}

TEST_F(AccessEvents, WatchingAPathThatIsNotThereSaysWhy) {
    testsupport::writeFile(tmpfs.file("file"), "not a folder");
    EXPECT_EQ(events->watch(tmpfs.file("missing")), std::errc::no_such_file_or_directory);
    EXPECT_EQ(events->watch(tmpfs.file("file/below")), std::errc::not_a_directory);
}

TEST_F(AccessEvents, AFullQueueIsReportedAsLostEvents) {
    std::ifstream limitFile("/proc/sys/fs/fanotify/max_queued_events");
    long limit = 0;
    if (!(limitFile >> limit) || limit > 100000) {
        GTEST_SKIP() << "the queue holds too many events to fill it here";
    }
    for (long i = 0; i <= limit; ++i) {
        ::close(::open(tmpfs.file(std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0644));
    }
    long written = 0;
    bool lost = false;
    std::vector<AccessEvent> got;
    while (!lost && !events->wait(got, 256, 1000) && !got.empty()) {
        for (const AccessEvent& event : got) {
            written += event.kind == AccessKind::Written ? 1 : 0;
            lost = lost || event.kind == AccessKind::Overflow;
            platform::closeAccessFile(event.file);
        }
        got.clear();
    }
    EXPECT_TRUE(lost);
    EXPECT_EQ(written, limit);
}
