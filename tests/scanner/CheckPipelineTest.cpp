#include "scanner/CheckPipeline.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kFiles = 1200;

/// Runs `kFiles` files through a pipeline of one worker whose reads wait for the disk where
/// `waits` says so and whose prefetches find the file in memory where `cached` says so. Returns
/// the files prefetched, in the order they were.
template <class Waits, class Cached> std::vector<int> prefetchedFiles(Waits waits, Cached cached) {
    std::mutex mutex;
    std::vector<int> prefetched;
    CheckPipeline* pipeline = nullptr;
    CheckPipeline checks(
        1,
        [&](const WalkedFile& file, platform::ReadBuffer&) {
            pipeline->noteRead(waits(std::stoi(file.name)));
            return FileCheckResult();
        },
        [&](const WalkedFile& file) {
            const std::lock_guard lock(mutex);
            prefetched.push_back(std::stoi(file.name));
            return !cached(prefetched.back());
        });
    pipeline = &checks;
    for (int i = 0; i < kFiles; ++i) {
        WalkedFile file;
        file.name = std::to_string(i);
        checks.push(std::move(file));
    }
    checks.flush();
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_EQ(checks.pop().first.name, std::to_string(i));
    }
    return prefetched;
}

} // namespace

TEST(CheckPipeline, ReadsThatKeepWaitingPrefetchTheFilesAheadOnce) {
    std::vector<int> prefetched =
        prefetchedFiles([](int) { return true; }, [](int) { return false; });
    ASSERT_FALSE(prefetched.empty());
    // The worker and the popping thread prefetch their own runs side by side, so the recorded
    // order interleaves; what counts is that each file is prefetched at most once, from soon
    // after the reads started waiting up to the last one.
    std::sort(prefetched.begin(), prefetched.end());
    EXPECT_EQ(std::adjacent_find(prefetched.begin(), prefetched.end()), prefetched.end());
    EXPECT_LT(prefetched.front(), 100);
    EXPECT_EQ(prefetched.back(), kFiles - 1);
}

TEST(CheckPipeline, AWarmScanPrefetchesNothingAndPrefetchingEndsOnceFilesAreInMemory) {
    // The odd read that waits, as a warm scan meets them, does not start it.
    EXPECT_TRUE(prefetchedFiles([](int file) { return file % 10 == 0; }, [](int) { return false; })
                    .empty());
    // Files ahead that are in memory already end it, until reads wait again.
    const std::vector<int> stopped =
        prefetchedFiles([](int file) { return file < 20; }, [](int) { return true; });
    ASSERT_FALSE(stopped.empty());
    EXPECT_LT(stopped.back(), kFiles / 2);
}

TEST(CheckPipeline, ResultsComeBackInPushOrderWhileWorkersTakeRunsOfFiles) {
    // Many files at once let the workers take several each; pops in between push and while files
    // are still being handed over must neither lose, repeat nor reorder any.
    constexpr int kMany = 5000;
    std::atomic<int> checks{0};
    CheckPipeline pipeline(3, [&](const WalkedFile& file, platform::ReadBuffer&) {
        ++checks;
        FileCheckResult result;
        result.unreadable = file.name;
        return result;
    });
    int popped = 0;
    const auto popOne = [&] {
        auto [file, result] = pipeline.pop();
        EXPECT_EQ(file.name, std::to_string(popped));
        EXPECT_EQ(result.unreadable, file.name);
        ++popped;
    };
    for (int i = 0; i < kMany; ++i) {
        WalkedFile file;
        file.name = std::to_string(i);
        EXPECT_EQ(pipeline.push(std::move(file)), static_cast<std::size_t>(i - popped + 1));
        if (i % 7 == 3) {
            popOne();
        }
    }
    pipeline.flush();
    while (pipeline.pending() > 0) {
        popOne();
    }
    EXPECT_EQ(popped, kMany);
    EXPECT_EQ(checks, kMany);
}
