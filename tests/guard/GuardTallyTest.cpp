#include "guard/GuardTally.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

GuardDetection detection(std::int64_t timeNs, std::string action) {
    return {timeNs, "/tmp/f", "Threat", std::move(action), 7, "cp"};
}

TEST(GuardTally, ThreadsCountingAtOnceLoseNothingAndTheLastTenAreKept) {
    constexpr int kThreads = 4;
    constexpr int kEach = 20'000;
    GuardTally tally;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&tally, t] {
            for (int i = 0; i < kEach; ++i) {
                tally.addChecked();
                // A denied program is no written file: its denial is counted apart.
                const char* actions[] = {"denied", "quarantined", "reported", "not quarantined: x"};
                tally.addDetection(detection(t * kEach + i, actions[i % 4]));
                if (i % 4 == 0) {
                    tally.addDenied();
                } else if (i % 4 == 1) {
                    tally.addUnchecked();
                    tally.addOverflow();
                }
                if (i % 1000 == 0) {
                    EXPECT_LE(tally.recent().size(), 10u); // the status writer looks in meanwhile
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    constexpr std::uint64_t kQuarter = kThreads * kEach / 4;
    EXPECT_EQ(tally.counts(9),
              (GuardCounts{4 * kQuarter, kQuarter, kQuarter, 3 * kQuarter, kQuarter, 9, kQuarter}));
    // The newest ten, oldest first: the last one added overall is each thread's last.
    const std::vector<GuardDetection> recent = tally.recent();
    ASSERT_EQ(recent.size(), 10u);
    EXPECT_EQ(recent.back().timeNs % kEach, kEach - 1);

    GuardTally single;
    for (int i = 0; i < 25; ++i) {
        single.addDetection(detection(i, "reported"));
    }
    ASSERT_EQ(single.recent().size(), 10u);
    EXPECT_EQ(single.recent().front().timeNs, 15);
    EXPECT_EQ(single.recent().back().timeNs, 24);
}

} // namespace
