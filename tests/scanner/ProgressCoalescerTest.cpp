#include "scanner/ProgressCoalescer.h"

#include <gtest/gtest.h>
#include <string>
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
