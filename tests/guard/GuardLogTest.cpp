#include "guard/GuardLog.h"

#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

using Clock = std::chrono::steady_clock;

/// What the log writes its text to (`fds[1]`), as the journal's pipe or socket, and what the
/// test reads it from (`fds[0]`).
struct Channel {
    explicit Channel(bool socket = false) {
        EXPECT_EQ(socket ? ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds)
                         : ::pipe2(fds, O_CLOEXEC),
                  0);
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    }
    ~Channel() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    /// Everything written so far.
    std::string drain() const {
        std::string text;
        char buffer[65536];
        for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return text;
    }
    /// Fills the pipe until it takes no more, as a journal that stopped reading leaves it.
    std::size_t fill() const {
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
        std::size_t written = 0;
        for (const std::size_t size : {4096, 1}) {
            for (ssize_t got; (got = ::write(fds[1], std::string(size, 'f').data(), size)) > 0;) {
                written += static_cast<std::size_t>(got);
            }
        }
        ::fcntl(fds[1], F_SETFL, 0);
        return written;
    }
    int fds[2] = {-1, -1};
};

GuardRecord record(int index, std::string path = {}) {
    GuardRecord record;
    record.timeNs = 1'796'901'839'000'000'000 + index;
    record.event = GuardEvent::Detected;
    record.path = path.empty() ? "/home/a/file" + std::to_string(index) : std::move(path);
    record.pid = 100 + index;
    return record;
}

std::string lines(int from, int to, std::string (*line)(const GuardRecord&)) {
    std::string text;
    for (int i = from; i < to; ++i) {
        text += line(record(i)) + '\n';
    }
    return text;
}

TEST(GuardLog, WritesEachRecordAsATextLineAndAJsonLine) {
    for (const bool socket : {false, true}) {
        TempDir dir;
        const Channel text(socket);
        GuardLogOptions options;
        options.textOutput = text.fds[1];
        options.filePath = dir.file("log/kesto/guard.log");
        {
            GuardLog log(options);
            EXPECT_EQ(log.fileProblem(), "");
            for (int i = 0; i < 3; ++i) {
                log.add(record(i));
            }
        }
        EXPECT_EQ(text.drain(), lines(0, 3, GuardRecordText));
        EXPECT_EQ(readFile(options.filePath), lines(0, 3, GuardRecordJson));
        struct stat info {};
        ASSERT_EQ(::stat(options.filePath.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
        ASSERT_EQ(::stat(dir.file("log/kesto").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0750u);
    }
}

TEST(GuardLog, StuckOutputDropsNewRecordsAndHoldsUpNeitherAddingNorEnding) {
    TempDir dir;
    const Channel text;
    const std::size_t filled = text.fill();
    GuardLogOptions options;
    options.textOutput = text.fds[1];
    options.filePath = dir.file("guard.log");
    options.capacity = 4;
    auto log = std::make_unique<GuardLog>(options);
    log->add(record(0));
    std::this_thread::sleep_for(100ms); // the writer takes it and waits for room
    const Clock::time_point adding = Clock::now();
    for (int i = 1; i < 101; ++i) {
        log->add(record(i));
    }
    EXPECT_LT(Clock::now() - adding, 100ms);
    EXPECT_EQ(log->dropped(), 96u); // four wait in the queue
    const Clock::time_point ending = Clock::now();
    log.reset();
    EXPECT_LT(Clock::now() - ending, 2s);
    // No part of a line went into the full pipe; the file has every record kept.
    EXPECT_EQ(text.drain(), std::string(filled, 'f'));
    EXPECT_EQ(readFile(options.filePath), lines(0, 5, GuardRecordJson));
}

TEST(GuardLog, OverlongLineIsCutToOneWholeWrite) {
    const Channel text;
    GuardLogOptions options;
    options.textOutput = text.fds[1];
    std::string accented = "/";
    for (int i = 0; i < 5000; ++i) {
        accented += "\xc3\xa9";
    }
    {
        GuardLog log(options);
        log.add(record(1, "/" + std::string(10'000, 'a')));
        log.add(record(2, accented));
    }
    const std::string written = text.drain();
    const std::size_t firstEnd = written.find('\n') + 1;
    EXPECT_EQ(firstEnd, 4096u);
    // The second is cut before the character that would not fit whole.
    EXPECT_EQ(written.size() - firstEnd, 4095u);
    EXPECT_TRUE(written.ends_with("\xc3\xa9...\n"));
}

TEST(GuardLog, FileIsRenamedAtItsLimitAndStartedAnew) {
    TempDir dir;
    GuardLogOptions options;
    options.filePath = dir.file("guard.log");
    options.fileLimit = 1000;
    testsupport::writeFile(options.filePath + ".1", "an older log\n");
    {
        GuardLog log(options);
        for (int i = 0; i < 30; ++i) {
            log.add(record(i));
        }
    }
    const std::string older = readFile(options.filePath + ".1");
    const std::string newer = readFile(options.filePath);
    EXPECT_LE(older.size(), 1000u);
    EXPECT_LE(newer.size(), 1000u);
    EXPECT_GT(newer.size(), 0u);
    // Together the last records in order, each line whole.
    const int kept = static_cast<int>(std::count(older.begin(), older.end(), '\n') +
                                      std::count(newer.begin(), newer.end(), '\n'));
    EXPECT_LT(kept, 30);
    EXPECT_EQ(older + newer, lines(30 - kept, 30, GuardRecordJson));
}

TEST(GuardLog, LinkedFileIsRefusedAndTheTextGoesOn) {
    TempDir dir;
    testsupport::writeFile(dir.file("elsewhere"), "");
    std::filesystem::create_symlink(dir.file("elsewhere"), dir.file("guard.log"));
    const Channel text;
    GuardLogOptions options;
    options.textOutput = text.fds[1];
    options.filePath = dir.file("guard.log");
    {
        GuardLog log(options);
        EXPECT_NE(log.fileProblem(), "");
        log.add(record(1));
    }
    EXPECT_EQ(readFile(dir.file("elsewhere")), "");
    const std::string written = text.drain();
    EXPECT_TRUE(written.starts_with("error: " + options.filePath + "; cannot open")) << written;
    EXPECT_TRUE(written.ends_with("\n" + lines(1, 2, GuardRecordText)));
}

} // namespace
