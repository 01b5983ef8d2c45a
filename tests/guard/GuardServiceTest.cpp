#include "guard/Guard.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;
using testsupport::TempDir;

namespace {

using Clock = std::chrono::steady_clock;

/// Access events the test hands in, and the answers the guard gives, with when it gave them.
class FakeEvents : public platform::AccessEvents {
public:
    struct Answer {
        std::string path;
        bool allow = false;
        Clock::time_point when;
    };

    std::error_code watch(const std::string&) override { return {}; }

    std::error_code wait(std::vector<platform::AccessEvent>& events, std::size_t max,
                         int timeoutMs) override {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return m_woken || !m_queue.empty(); });
        m_woken = false;
        while (!m_queue.empty() && events.size() < max) {
            events.push_back(m_queue.front());
            m_queue.pop_front();
        }
        return {};
    }

    std::error_code answer(const platform::AccessEvent& event, bool allow) override {
        const std::lock_guard lock(m_mutex);
        m_answers.push_back({m_paths.at(event.file), allow, Clock::now()});
        m_changed.notify_all();
        return {};
    }

    void wake() override {
        const std::lock_guard lock(m_mutex);
        m_woken = true;
        m_changed.notify_all();
    }

    /// Hands in a use of the file at `path` by process `pid`; its descriptor is the guard's.
    void use(platform::AccessKind kind, const std::string& path, std::int32_t pid = 1) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0) << path;
        const std::lock_guard lock(m_mutex);
        m_paths[fd] = path;
        m_queue.push_back({kind, fd, pid});
        m_changed.notify_all();
    }

    void overflow() {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back({platform::AccessKind::Overflow, platform::kNoHandle, 0});
        m_changed.notify_all();
    }

    /// Waits (up to 5 s) until `count` answers were given; all of them.
    std::vector<Answer> answers(std::size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, 5s, [&] { return m_answers.size() >= count; });
        return m_answers;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<platform::AccessEvent> m_queue;
    std::map<int, std::string> m_paths;
    std::vector<Answer> m_answers;
    bool m_woken = false;
};

/// A check that waits until released, as a check stuck on a slow disk would.
class StuckCheck {
public:
    OpenFileVerdict operator()(platform::InputFile&, std::string_view) {
        std::unique_lock lock(m_mutex);
        ++m_started;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_released; });
        return {};
    }
    void release() {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_started = 0;
    bool m_released = false;
};

class GuardServiceTest : public ::testing::Test {
protected:
    GuardServiceTest() {
        testsupport::writeFile(dir.file("watched/listed.exe"), "listed program");
        testsupport::writeFile(dir.file("watched/clean.exe"), "clean program");
        testsupport::writeFile(dir.file("elsewhere/listed.exe"), "listed program");
        options.watched = {dir.file("watched")};
    }

    /// Lists every file that holds "listed".
    static OpenFileVerdict byContent(platform::InputFile& file, std::string_view) {
        std::string content;
        EXPECT_FALSE(file.readToEnd(content));
        OpenFileVerdict verdict;
        verdict.examined = true;
        if (content.find("listed") != std::string::npos) {
            verdict.threat = "Test.Threat";
        }
        return verdict;
    }

    /// Runs the guard with `check` until the test body ends.
    void start(GuardCheck check) {
        guard = std::make_unique<Guard>(events, options, std::move(check), log, tally);
        running = std::async(std::launch::async, [this] { return guard->run(); });
    }

    /// The counts once `done` holds for them (the guard counts just after it answers), or after
    /// 5 s as they are.
    GuardCounts countsWhen(const std::function<bool(const GuardCounts&)>& done) {
        for (int i = 0; i < 500 && !done(tally.counts(0)); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return tally.counts(0);
    }

    void TearDown() override {
        if (guard) {
            guard->stop();
            EXPECT_FALSE(running.get());
            guard.reset();
        }
    }

    TempDir dir;
    FakeEvents events;
    /// Outlives the guard, whose checking threads may still call it after the test body.
    StuckCheck stuck;
    GuardOptions options;
    GuardLog log{GuardLogOptions{}};
    GuardTally tally;
    std::unique_ptr<Guard> guard;
    std::future<std::error_code> running;
};

} // namespace

TEST_F(GuardServiceTest, ListedProgramsOnWatchedPathsAreDeniedOthersAllowed) {
    start(byContent);
    events.use(platform::AccessKind::Exec, dir.file("watched/listed.exe"));
    events.use(platform::AccessKind::Exec, dir.file("watched/clean.exe"));
    // Elsewhere, by the guard itself, or by a process it cannot tell: allowed unchecked.
    events.use(platform::AccessKind::Exec, dir.file("elsewhere/listed.exe"));
    events.use(platform::AccessKind::Exec, dir.file("watched/listed.exe"),
               platform::currentProcessId());
    events.use(platform::AccessKind::Exec, dir.file("watched/listed.exe"), 0);
    const auto answers = events.answers(5);
    ASSERT_EQ(answers.size(), 5u);
    std::map<std::string, int> denied;
    for (const auto& answer : answers) {
        denied[answer.path] += answer.allow ? 0 : 1;
    }
    EXPECT_EQ(denied[dir.file("watched/listed.exe")], 1);
    EXPECT_EQ(denied[dir.file("watched/clean.exe")], 0);
    EXPECT_EQ(denied[dir.file("elsewhere/listed.exe")], 0);
    const GuardCounts counts =
        countsWhen([](const GuardCounts& now) { return now.checked == 2 && now.denied == 1; });
    EXPECT_EQ(counts.denied, 1u);
    EXPECT_EQ(counts.checked, 2u);
    for (int i = 0; i < 500 && tally.recent().empty(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(tally.recent().size(), 1u);
    EXPECT_EQ(tally.recent()[0].threat, "Test.Threat");
    EXPECT_EQ(tally.recent()[0].action, "denied");
}

TEST_F(GuardServiceTest, ACheckThatNeverEndsIsAnsweredByTheDeadline) {
    options.deadline = 100ms;
    start(std::ref(stuck));
    const Clock::time_point asked = Clock::now();
    events.use(platform::AccessKind::Exec, dir.file("watched/clean.exe"));
    auto answers = events.answers(1);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_TRUE(answers[0].allow);
    EXPECT_LT(answers[0].when - asked, 1s);
    EXPECT_GE(answers[0].when - asked, 100ms);
    EXPECT_EQ(countsWhen([](const GuardCounts& now) { return now.unchecked == 1; }).unchecked, 1u);
    stuck.release();
}

TEST_F(GuardServiceTest, FailClosedDeniesWhatItCouldNotCheck) {
    options.deadline = 50ms;
    options.failClosed = true;
    start(std::ref(stuck));
    events.use(platform::AccessKind::Exec, dir.file("watched/clean.exe"));
    const auto answers = events.answers(1);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_FALSE(answers[0].allow);
    stuck.release();
}

TEST_F(GuardServiceTest, ProgramsPastTheWaitingLimitAreAnsweredAtOnce) {
    options.deadline = 5s;
    options.checkers = 1;
    options.waitingLimit = 2;
    start(std::ref(stuck));
    for (int i = 0; i < 5; ++i) {
        events.use(platform::AccessKind::Exec, dir.file("watched/clean.exe"));
    }
    // Two wait for their check; the other three are answered without one, long before 5 s.
    const Clock::time_point asked = Clock::now();
    const auto answers = events.answers(3);
    EXPECT_EQ(answers.size(), 3u);
    EXPECT_LT(Clock::now() - asked, 2s);
    EXPECT_EQ(countsWhen([](const GuardCounts& now) { return now.unchecked == 3; }).unchecked, 3u);
    stuck.release();
    EXPECT_EQ(events.answers(5).size(), 5u);
}

TEST_F(GuardServiceTest, AStuckLogNeverDelaysAnAnswer) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    // Fill the pipe: every write to it from now on would wait for a reader that never comes.
    ASSERT_EQ(::fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK), 0);
    const std::string block(4096, 'x');
    while (::write(pipeEnds[1], block.data(), block.size()) > 0) {
    }
    ASSERT_EQ(::fcntl(pipeEnds[1], F_SETFL, 0), 0);
    {
        GuardLogOptions stuckOutput;
        stuckOutput.textOutput = pipeEnds[1];
        stuckOutput.capacity = 4;
        GuardLog stuckLog(stuckOutput);
        options.deadline = 20ms;
        options.failClosed = false;
        Guard stuckGuard(events, options, std::ref(stuck), stuckLog, tally);
        auto stuckRun = std::async(std::launch::async, [&] { return stuckGuard.run(); });
        // Each program is answered unchecked and logged; the log is full after four.
        const Clock::time_point asked = Clock::now();
        for (int i = 0; i < 20; ++i) {
            events.use(platform::AccessKind::Exec, dir.file("watched/clean.exe"));
        }
        const auto answers = events.answers(20);
        EXPECT_EQ(answers.size(), 20u);
        for (const auto& answer : answers) {
            EXPECT_LT(answer.when - asked, 1s);
        }
        EXPECT_GT(stuckLog.dropped(), 0u);
        stuck.release();
        stuckGuard.stop();
        EXPECT_FALSE(stuckRun.get());
    }
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

TEST_F(GuardServiceTest, ListedWrittenFilesAreActedOnAndReported) {
    std::promise<std::string> acted;
    options.act = [&](const std::string& path, const platform::FileStamp&,
                      const OpenFileVerdict& verdict) {
        acted.set_value(path + " " + verdict.threat);
        return GuardActionResult{false, "the disk is full"};
    };
    start(byContent);
    events.use(platform::AccessKind::Written, dir.file("watched/clean.exe"));
    events.use(platform::AccessKind::Written, dir.file("watched/listed.exe"));
    events.overflow();
    auto result = acted.get_future();
    ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(result.get(), dir.file("watched/listed.exe") + " Test.Threat");
    // Nothing waits for an answer after a write.
    for (int i = 0; i < 100 && tally.recent().empty(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(tally.recent().size(), 1u);
    EXPECT_EQ(tally.recent()[0].action, "not quarantined: the disk is full");
    // The overflow comes after the writes on the answering thread, which may reach it only after
    // the written file's thread acted.
    for (int i = 0; i < 100 && tally.counts(0).overflows == 0; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(tally.counts(0).overflows, 1u);
    EXPECT_TRUE(events.answers(0).empty());
}
