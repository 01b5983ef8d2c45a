#include "scanner/ProgressCoalescer.h"

#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

/// Writes down what reaches it, one line a report.
class Recorder final : public ScanObserver {
public:
    std::vector<std::string> lines;

    void passStarted(ScanPass pass) override {
        lines.push_back("pass " + std::to_string(static_cast<int>(pass)));
    }
    void fileStarted(const std::string& status) override { lines.push_back("file " + status); }
    void detectionListed(const DetectionEntry& entry, std::uint64_t detections) override {
        lines.push_back("row " + entry.location + " #" + std::to_string(detections));
    }
    void fileChecked(const ScanProgress& progress) override {
        lines.push_back("checked " + std::to_string(progress.checked) + " " + progress.percentText);
    }
    void fileUnreadable(const std::string& location, const std::string&) override {
        lines.push_back("unreadable " + location);
    }
    void finished(const ScanSummary&) override { lines.push_back("end"); }
};

/// A recorder that runs `onFile` once, when the status `trigger` reaches it.
class HookedRecorder final : public ScanObserver {
public:
    Recorder recorder;
    std::string trigger;
    std::function<void()> onFile;

    void passStarted(ScanPass pass) override { recorder.passStarted(pass); }
    void fileStarted(const std::string& status) override {
        recorder.fileStarted(status);
        if (status == trigger && onFile) {
            std::exchange(onFile, {})();
        }
    }
    void detectionListed(const DetectionEntry& entry, std::uint64_t detections) override {
        recorder.detectionListed(entry, detections);
    }
    void fileChecked(const ScanProgress& progress) override { recorder.fileChecked(progress); }
    void fileUnreadable(const std::string& location, const std::string& reason) override {
        recorder.fileUnreadable(location, reason);
    }
    void finished(const ScanSummary& summary) override { recorder.finished(summary); }
};

/// Runs `call` on a thread of its own and says whether it returned within a few seconds; a call
/// that waits for the thread asking (a lock it holds) would not. The thread is joined by `join`.
bool returnsPromptly(std::thread& thread, std::function<void()> call) {
    std::promise<void> done;
    std::future<void> returned = done.get_future();
    thread = std::thread([call = std::move(call), done = std::move(done)]() mutable {
        call();
        done.set_value();
    });
    return returned.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
}

struct ManualClock {
    std::chrono::steady_clock::time_point now{};
    ProgressCoalescer::Clock reader() {
        return [this] { return now; };
    }
};

DetectionEntry row(const std::string& location) {
    DetectionEntry entry;
    entry.location = location;
    return entry;
}

ScanProgress checked(std::uint64_t count, std::optional<long long> percent = std::nullopt) {
    ScanProgress progress;
    progress.checked = count;
    progress.percent = percent;
    if (percent) {
        progress.percentText = std::to_string(*percent) + " %";
    }
    return progress;
}

} // namespace

TEST(ProgressCoalescer, SendsTheLatestProgressAndEveryOtherReportInOrderOncePerInterval) {
    Recorder recorder;
    ManualClock clock;
    ProgressCoalescer coalescer(recorder, 40ms, clock.reader());
    coalescer.fileStarted("a"); // the first report goes at once
    coalescer.fileChecked(checked(1, 10));
    coalescer.fileStarted("b");
    coalescer.detectionListed(row("b"), 1);
    coalescer.fileChecked(checked(2)); // no new percentage: 10 % stays on show
    coalescer.fileStarted("c");
    coalescer.fileUnreadable("c", "gone");
    clock.now += 39ms;
    coalescer.fileChecked(checked(3));
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"file a"}));

    clock.now += 1ms;
    coalescer.fileStarted("d");
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"file a", "row b #1", "unreadable c",
                                                        "checked 3 10 %", "file d"}));
}

TEST(ProgressCoalescer, EndAndTimerSendWhatALongFileHeldBack) {
    Recorder recorder;
    ManualClock clock;
    ProgressCoalescer coalescer(recorder, 40ms, clock.reader());
    coalescer.fileStarted("a");
    coalescer.fileChecked(checked(1, 50));
    coalescer.fileStarted("big");
    coalescer.flushIfDue(); // too early
    EXPECT_EQ(recorder.lines.size(), 1U);
    clock.now += 40ms;
    coalescer.flushIfDue(); // the scan is still reading "big"
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"file a", "checked 1 50 %", "file big"}));

    coalescer.fileChecked(checked(2, 100));
    coalescer.passStarted(ScanPass::Scanning);
    coalescer.fileStarted("next");
    coalescer.finished(ScanSummary{});
    EXPECT_EQ(recorder.lines,
              (std::vector<std::string>{"file a", "checked 1 50 %", "file big", "checked 2 100 %",
                                        "pass 1", "file next", "end"}));
}

TEST(ProgressCoalescer, TheScanDoesNotWaitForATargetTheTimerIsCallingAndTheOrderHolds) {
    HookedRecorder target;
    ManualClock clock;
    ProgressCoalescer coalescer(target, 40ms, clock.reader());
    coalescer.fileStarted("a");
    coalescer.fileStarted("slow");
    coalescer.detectionListed(row("slow"), 1);
    clock.now += 40ms;
    std::thread scan;
    bool scanReturned = false;
    target.trigger = "slow";
    // While the timer's batch is being passed on, the scan reports more and its next batch is due.
    target.onFile = [&] {
        clock.now += 40ms;
        scanReturned = returnsPromptly(scan, [&] {
            coalescer.fileUnreadable("c", "gone");
            coalescer.fileChecked(checked(5, 60));
        });
    };
    coalescer.flushIfDue();
    scan.join();
    EXPECT_TRUE(scanReturned);
    // The scan's batch came after the whole of the timer's, though it was due in the middle.
    EXPECT_EQ(target.recorder.lines,
              (std::vector<std::string>{"file a", "file slow", "row slow #1", "unreadable c"}));
    coalescer.finished(ScanSummary{});
    EXPECT_EQ(target.recorder.lines.back(), "end");
    EXPECT_EQ(target.recorder.lines.at(target.recorder.lines.size() - 2), "checked 5 60 %");
}

TEST(ProgressCoalescer, ATargetThatReportsBackIsNotDeadlocked) {
    HookedRecorder target;
    ManualClock clock;
    ProgressCoalescer coalescer(target, 40ms, clock.reader());
    std::thread probe;
    bool unlocked = false;
    target.trigger = "a";
    target.onFile = [&] {
        // The coalescer's lock must be free while the target runs; only then is it safe to call
        // back on this thread (a held std::mutex taken again would hang the test).
        unlocked = returnsPromptly(probe, [&] { coalescer.flushIfDue(); });
        if (unlocked) {
            coalescer.fileStarted("from the target");
            coalescer.passStarted(ScanPass::Scanning);
            coalescer.finished(ScanSummary{});
        }
    };
    coalescer.fileStarted("a");
    probe.join();
    ASSERT_TRUE(unlocked);
    // What the target reported goes on after the report it was answering.
    EXPECT_EQ(target.recorder.lines,
              (std::vector<std::string>{"file a", "file from the target", "pass 1", "end"}));
}
