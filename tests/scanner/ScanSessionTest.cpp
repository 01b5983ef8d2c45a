#include "scanner/ScanSession.h"

#include "engine/SignatureDatabase.h"
#include "engine/clsCRC.h"
#include "platform/InputFile.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#ifdef __linux__
#include <poll.h>
#include <sys/inotify.h>
#endif
#ifndef _WIN32
#include "ChildPrograms.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

/// Records every observer call as a line, in order.
class RecordingObserver : public ScanObserver {
public:
    void passStarted(ScanPass pass) override {
        events.push_back(pass == ScanPass::Counting ? "count" : "scan");
    }
    void totalCounted(std::uint64_t total) override {
        events.push_back("total " + std::to_string(total));
        if (onTotal) {
            onTotal();
        }
    }
    void fileStarted(const std::string& status) override { events.push_back("file " + status); }
    void detectionListed(const DetectionEntry& entry, std::uint64_t detections) override {
        events.push_back("listed " + std::to_string(detections) + " " + entry.name);
        if (onListed) {
            onListed(entry);
        }
    }
    void fileChecked(const ScanProgress& progress) override {
        events.push_back("checked " + std::to_string(progress.checked) + " " +
                         progress.percentText);
        if (onChecked) {
            onChecked(progress.checked);
        }
    }
    void finished(const ScanSummary& summary) override {
        events.push_back("finished " + summary.completion.status);
    }

    std::vector<std::string> events;
    std::function<void()> onTotal;
    std::function<void(const DetectionEntry&)> onListed;
    std::function<void(std::uint64_t)> onChecked;
};

class ScanSessionTest : public ::testing::Test {
protected:
    /// Writes a file and, when `threat` is given, lists its checksum under that name.
    void plant(const std::string& relative, const std::string& content,
               const std::string& threat = "") {
        writeFile(root.file(relative), content);
        if (!threat.empty()) {
            lines.insert(lines.end() - 1,
                         ChecksumText(clsCRC().CalculateBytes(content)) + ":" + threat);
        }
        writeFile(databaseDir.file("db.dll"), testsupport::databaseText(lines));
    }

    ScanSummary scan(
        ScanObserver& observer, unsigned threads = 2,
        const std::function<bool()>& stop = [] { return false; }) {
        ScanOptions options;
        options.root = root.path();
        options.database = &database;
        options.quarantineFolder = root.file("Karantina");
        options.threads = threads;
        return RunScan(options, observer, stop);
    }

    TempDir root;
    TempDir databaseDir;
    std::vector<std::string> lines{"Selesai:Selesai"};
    SignatureDatabase database{databaseDir.file("db.dll")};
};

} // namespace

TEST_F(ScanSessionTest, ReportsEveryStepInWalkOrder) {
    plant("a.txt", "clean");
    plant("b.txt", "bad one", "Threat.B");
    plant("sub/c.txt", "bad two", "Threat.C");
    RecordingObserver observer;
    const ScanSummary summary = scan(observer);
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"count", "total 3", "scan", "file " + root.file("a.txt"),
                                        "checked 1 33 % Complete...", "file " + root.file("b.txt"),
                                        "listed 1 Threat.B", "checked 2 67 % Complete...",
                                        "file " + root.file("sub/c.txt"), "listed 2 Threat.C",
                                        "checked 3 100 % Complete...",
                                        "finished Scanning is finished, 2 virus detected..."}));
    EXPECT_EQ(summary.counts.total, 3u);
    EXPECT_EQ(summary.counts.checked, 3u);
    EXPECT_EQ(summary.counts.detections, summary.detections.size());
    EXPECT_EQ(summary.detections[1].location, root.file("sub/c.txt"));
    EXPECT_TRUE(summary.completion.showMessage);
}

TEST_F(ScanSessionTest, AnObserverWithoutAStatusLineGetsEverythingElse) {
    struct NoStatus : RecordingObserver {
        bool wantsFileStatus() const override { return false; }
    };
    plant("a.txt", "clean");
    plant("b.txt", "bad one", "Threat.B");
    NoStatus observer;
    scan(observer);
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"count", "total 2", "scan", "checked 1 50 % Complete...",
                                        "listed 1 Threat.B", "checked 2 100 % Complete...",
                                        "finished Scanning is finished, 1 virus detected..."}));
}

#ifndef _WIN32
// A pipe as the stream, a link swapped in; WindowsScanTest covers named files on Windows.
TEST_F(ScanSessionTest, FoldersFilesAndStreamsAreOneScanInTheirOrder) {
    plant("f/x.txt", "bad one", "Threat.X");
    plant("named.txt", "bad two", "Threat.N");
    plant("g/y.txt", "clean");
    plant("elsewhere/z.txt", "bad three", "Threat.Z");
    // A named file swapped for a link after it was resolved is not followed.
    std::filesystem::create_symlink(root.file("elsewhere/z.txt"), root.file("swapped"));
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const std::string streamed = "bad four";
    lines.insert(lines.end() - 1, ChecksumText(clsCRC().CalculateBytes(streamed)) + ":Threat.S");
    writeFile(databaseDir.file("db.dll"), testsupport::databaseText(lines));
    ASSERT_EQ(::write(pipeEnds[1], streamed.data(), streamed.size()),
              static_cast<ssize_t>(streamed.size()));
    ::close(pipeEnds[1]);

    ScanOptions options;
    options.targets = {{ScanTarget::Kind::Folder, root.file("f")},
                       {ScanTarget::Kind::Stream, "(input)", pipeEnds[0]},
                       {ScanTarget::Kind::File, root.file("named.txt")},
                       {ScanTarget::Kind::File, root.file("swapped")},
                       {ScanTarget::Kind::Folder, root.file("g")}};
    options.database = &database;
    RecordingObserver observer;
    const ScanSummary summary = RunScan(options, observer, [] { return false; });
    ::close(pipeEnds[0]);
    std::vector<std::string> listed;
    for (const DetectionEntry& row : summary.detections) {
        listed.push_back(row.name + " " + row.location);
    }
    EXPECT_EQ(listed,
              (std::vector<std::string>{"Threat.X " + root.file("f/x.txt"), "Threat.S (input)",
                                        "Threat.N " + root.file("named.txt")}));
    EXPECT_EQ(summary.counts.total, 5u);
    EXPECT_EQ(summary.counts.checked, 5u);
    EXPECT_EQ(summary.counts.unreadable, 1u);
    EXPECT_EQ(observer.events.back(), "finished Scanning is finished, 3 virus detected...");
}
#endif

TEST_F(ScanSessionTest, WorkerCountNeverChangesTheResult) {
    for (int i = 0; i < 600; ++i) {
        const std::string content = "file number " + std::to_string(i);
        plant("d" + std::to_string(i % 7) + "/f" + std::to_string(i), content,
              i % 13 == 0 ? "Threat." + std::to_string(i) : "");
    }
    RecordingObserver one;
    RecordingObserver four;
    const ScanSummary alone = scan(one, 1);
    const ScanSummary parallel = scan(four, 4);
    EXPECT_EQ(alone.detections.size(), 47u);
    EXPECT_EQ(alone.detections, parallel.detections);
    EXPECT_EQ(one.events, four.events);
}

TEST_F(ScanSessionTest, EmptyFolderFinishesWithNothingFound) {
    RecordingObserver observer;
    const ScanSummary summary = scan(observer);
    EXPECT_EQ(summary.counts.total, 0u);
    EXPECT_EQ(summary.completion.status, "Scanning is finished, no virus detected...");
    EXPECT_TRUE(summary.completion.showMessage);
}

TEST_F(ScanSessionTest, StopDuringCountingChecksNothing) {
    for (int i = 0; i < 10; ++i) {
        plant("f" + std::to_string(i), "x", "Threat");
    }
    int polls = 0;
    RecordingObserver observer;
    const ScanSummary summary = scan(observer, 2, [&polls] { return ++polls > 4; });
    EXPECT_GT(summary.counts.total, 0u);
    EXPECT_LT(summary.counts.total, 10u);
    EXPECT_EQ(summary.counts.checked, 0u);
    EXPECT_TRUE(summary.detections.empty());
    EXPECT_EQ(summary.completion.status, "Process terminated, no virus detected...");
    EXPECT_TRUE(summary.completion.resetProgress);
}

TEST_F(ScanSessionTest, StopAfter999Of1000Files) {
    for (int i = 0; i < 1000; ++i) {
        plant("f" + std::to_string(1000 + i), std::to_string(i), i == 0 ? "First" : "");
    }
    std::atomic<bool> stop{false};
    RecordingObserver observer;
    observer.onChecked = [&stop](std::uint64_t checked) { stop = checked == 999; };
    const ScanSummary summary = scan(observer, 2, [&stop] { return stop.load(); });
    EXPECT_EQ(summary.counts.total, 1000u);
    EXPECT_EQ(summary.counts.checked, 999u);
    EXPECT_EQ(summary.completion.status, "Process terminated, 1 virus detected...");
}

TEST_F(ScanSessionTest, FilesChangingBetweenPassesAreNotAStop) {
    plant("a", "one");
    plant("b", "two");
    RecordingObserver observer;
    observer.onTotal = [this] {
        std::filesystem::remove(root.file("a"));
        // On Windows a removed file keeps its name while a check that reads ahead has it open.
        for (int wait = 0; wait < 500 && std::filesystem::exists(root.file("a")); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // The database stays as it is: on Windows a scan reading it keeps it from being rewritten.
        writeFile(root.file("c"), "three");
        writeFile(root.file("d"), "four");
    };
    const ScanSummary summary = scan(observer);
    EXPECT_EQ(summary.counts.total, 2u);
    EXPECT_EQ(summary.counts.checked, 3u);
    EXPECT_EQ(summary.completion.status, "Scanning is finished, no virus detected...");
    // The percentage never shows more than 100.
    EXPECT_EQ(observer.events[observer.events.size() - 2], "checked 3 ");
}

#ifdef __linux__
// The workers check files while the counting pass goes on. A result from then stands only for the
// same file in an unchanged database: here a file is replaced, and then the database gains a line,
// after the workers have read every file and before the scanning pass.
TEST_F(ScanSessionTest, ChangesAfterTheCountingPassAreSeenByTheScanningPass) {
    plant("a-listed-later", "later");
    plant("b-replaced", "old");
    plant("c-bad", "bad", "Threat.C");
    const auto rowsOfScan = [this](const std::function<void()>& change) {
        const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        EXPECT_GE(::inotify_add_watch(watch, root.path().c_str(), IN_CLOSE_NOWRITE), 0);
        RecordingObserver observer;
        observer.onTotal = [&] {
            // One worker checks the files in order; the last one closed means all were checked.
            // Without checks ahead nothing is read yet, and the wait ends after a few seconds.
            alignas(inotify_event) char buffer[4096];
            bool lastRead = false;
            for (int polls = 0; polls < 50 && !lastRead; ++polls) {
                pollfd ready{watch, POLLIN, 0};
                ::poll(&ready, 1, 100);
                const ssize_t length = ::read(watch, buffer, sizeof buffer);
                for (ssize_t at = 0; at < length;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                    lastRead = lastRead || (event->len > 0 && std::string(event->name) == "c-bad");
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
            }
            change();
        };
        const ScanSummary summary = scan(observer, 1);
        ::close(watch);
        std::vector<std::string> rows;
        for (const DetectionEntry& row : summary.detections) {
            rows.push_back(row.name + " " + row.location);
        }
        return rows;
    };
    EXPECT_EQ(rowsOfScan([this] {
                  writeFile(root.file("b-new"), "bad");
                  std::filesystem::rename(root.file("b-new"), root.file("b-replaced"));
              }),
              (std::vector<std::string>{"Threat.C " + root.file("b-replaced"),
                                        "Threat.C " + root.file("c-bad")}));
    EXPECT_EQ(rowsOfScan([this] {
                  lines.insert(lines.end() - 1,
                               ChecksumText(clsCRC().CalculateBytes("later")) + ":Later");
                  writeFile(databaseDir.file("db.dll"), testsupport::databaseText(lines));
              }),
              (std::vector<std::string>{"Later " + root.file("a-listed-later"),
                                        "Threat.C " + root.file("b-replaced"),
                                        "Threat.C " + root.file("c-bad")}));
}
#endif

#ifndef _WIN32
// WindowsProcessTest ends a running detected program on Windows.
TEST_F(ScanSessionTest, RunningDetectedProgramIsEndedWhenListed) {
    const std::string program = root.file("bin/evil");
    testsupport::ChildPrograms children;
    std::filesystem::create_directories(root.file("bin"));
    testsupport::ChildPrograms::copyProgram(program);
    std::string content;
    ASSERT_FALSE(platform::readWholeFile(program, content));
    plant("bin/evil", content, "Evil.Program");
    plant("bin/zz-after", "later file");
    const pid_t pid = children.start(program);

    RecordingObserver observer;
    bool killedWhenListed = false;
    observer.onListed = [&](const DetectionEntry&) {
        // The kill is sent before the listing is reported; wait (bounded) for it to land.
        for (int attempt = 0; attempt < 2000 && !killedWhenListed; ++attempt) {
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == pid) {
                killedWhenListed = info.si_code == CLD_KILLED && info.si_status == SIGKILL;
                break;
            }
            ::usleep(1000);
        }
    };
    const ScanSummary summary = scan(observer);
    ASSERT_EQ(summary.detections.size(), 1u);
    EXPECT_TRUE(killedWhenListed);
    EXPECT_EQ(children.end(pid), SIGKILL);
}
#endif

TEST_F(ScanSessionTest, OnlyListedFilesThatCanRunHaveTheirProcessesLookedFor) {
    plant("a-script.sh", "#!/bin/sh\necho bad\n", "Threat.Script");
#ifdef _WIN32
    // A program image starts with "MZ"; one byte of it is not enough.
    plant("b-image", "MZ\x90 bad image", "Threat.Image");
    plant("c-short", "M", "Threat.Short");
#else
    plant("b-image",
          std::string("\x7f"
                      "ELF\x02\x01\x01 bad image",
                      18),
          "Threat.Image");
    plant("c-short",
          "\x7f"
          "EL",
          "Threat.Short");
#endif
    std::vector<std::string> lookedFor;
    ScanOptions options;
    options.root = root.path();
    options.database = &database;
    options.endRunningProcess = [&lookedFor](const std::string& path) {
        lookedFor.push_back(path);
        return std::size_t{0};
    };
    RecordingObserver observer;
    const ScanSummary summary = RunScan(options, observer, [] { return false; });
    EXPECT_EQ(summary.detections.size(), 3u);
    EXPECT_EQ(lookedFor, std::vector<std::string>{root.file("b-image")});
}

TEST_F(ScanSessionTest, DatabaseRemovedDuringTheScanIsReportedNotClean) {
    plant("top.txt", "checked while the database is there");
    plant("sub/a.txt", "clean");
    plant("sub/b.txt", "bad", "Threat.B");
    struct Failures : RecordingObserver {
        void lookupFailed(const std::string& location, const std::string&) override {
            failed.push_back(location);
        }
        std::vector<std::string> failed;
    } observer;
    ScanOptions options;
    options.root = root.path();
    options.database = &database;
    options.threads = 1;
    // The files of the root folder are handed to the checker before "sub/" is opened, but may
    // be checked later, so only the files below it are certain to miss the database.
    options.beforeFolder = [this](ScanPass pass, const std::string& folder) {
        if (pass == ScanPass::Scanning && folder == root.file("sub/")) {
            std::filesystem::remove(databaseDir.file("db.dll"));
        }
    };
    const ScanSummary summary = RunScan(options, observer, [] { return false; });
    EXPECT_TRUE(summary.detections.empty());
    ASSERT_GE(observer.failed.size(), 2u);
    const std::vector<std::string> below(observer.failed.end() - 2, observer.failed.end());
    EXPECT_EQ(below, (std::vector<std::string>{root.file("sub/a.txt"), root.file("sub/b.txt")}));
    EXPECT_EQ(summary.counts.lookupFailed, observer.failed.size());
    EXPECT_NE(summary.lookupFailure.find("db.dll"), std::string::npos);
    EXPECT_NE(summary.completion.message.find("could not be looked up in the signature database"),
              std::string::npos)
        << summary.completion.message;
    EXPECT_EQ(summary.completion.messageStyle, 48);
}

TEST_F(ScanSessionTest, FoldersThatCannotBeReadAreCountedOnceAndNamedInTheMessage) {
    plant("a.txt", "clean");
    plant("sub/b.txt", "bad", "Threat.B");
    plant("sub/deeper/c.txt", "clean");
    plant("z/d.txt", "clean");
    ScanOptions options;
    options.database = &database;
    options.threads = 1;
    RecordingObserver observer;
    const std::string finished = "Scanning is finished, no virus detected...";
    const std::string note =
        "\n\n1 folder(s) could not be read, so the files in them were not checked.";

    // A root that cannot be opened fails in both passes and is one folder.
    options.root = root.file("missing");
    const ScanSummary missing = RunScan(options, observer, [] { return false; });
    EXPECT_EQ(missing.counts.unreadableFolders, 1u);
    EXPECT_EQ(missing.completion.message, finished + note);
    EXPECT_EQ(missing.completion.messageTitle, "No Detected");
    EXPECT_EQ(missing.completion.messageStyle, 48);

#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps a folder that the walk holds open from being removed";
#endif
    // Between the passes "sub" becomes a file: the scanning pass cannot open it as a folder.
    options.root = root.path();
    options.beforeFolder = [this](ScanPass pass, const std::string& folder) {
        if (pass == ScanPass::Scanning && folder == root.file("sub/")) {
            std::filesystem::remove_all(root.file("sub"));
            writeFile(root.file("sub"), "no longer a folder");
        }
    };
    const ScanSummary summary = RunScan(options, observer, [] { return false; });
    EXPECT_TRUE(summary.detections.empty());
    EXPECT_EQ(summary.counts.checked, 2u);
    EXPECT_EQ(summary.counts.unreadableFolders, 1u);
    EXPECT_EQ(summary.completion.status, finished);
    EXPECT_EQ(summary.completion.message, finished + note);
}
