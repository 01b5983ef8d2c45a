#include "platform/ScopedSeam.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <utility>

namespace {

/// A seam as the program has them: a global handler, empty by default, and a setter that
/// returns what it replaced.
using Answer = std::function<int()>;

Answer& installedAnswer() {
    static Answer answer;
    return answer;
}

Answer setAnswer(Answer answer) {
    return std::exchange(installedAnswer(), std::move(answer));
}

int ask() {
    return installedAnswer() ? installedAnswer()() : 0;
}

/// The same with a plain function pointer, whose default is a function of its own.
using Opener = int (*)(int);

int realOpen(int) {
    return -1;
}

Opener g_opener = realOpen;

Opener setOpener(Opener opener) {
    return std::exchange(g_opener, opener != nullptr ? opener : realOpen);
}

} // namespace

TEST(ScopedSeam, InstallsForItsLifetimeAndPutsBackWhatWasThere) {
    setAnswer([] { return 1; });
    {
        const platform::ScopedSeam seam(setAnswer, [] { return 2; });
        EXPECT_EQ(ask(), 2);
    }
    EXPECT_EQ(ask(), 1);
    setAnswer(nullptr);
    {
        const platform::ScopedSeam seam(setAnswer, [] { return 3; });
        EXPECT_EQ(ask(), 3);
    }
    EXPECT_FALSE(installedAnswer());

    {
        const platform::ScopedSeam seam(setOpener, [](int fd) { return fd + 1; });
        EXPECT_EQ(g_opener(4), 5);
    }
    EXPECT_EQ(g_opener, &realOpen);
}

TEST(ScopedSeam, NestedSeamsUnwindInTurn) {
    const platform::ScopedSeam outer(setAnswer, [] { return 1; });
    {
        const platform::ScopedSeam inner(setAnswer, [] { return 2; });
        EXPECT_EQ(ask(), 2);
    }
    EXPECT_EQ(ask(), 1);
}

TEST(ScopedSeam, PutsBackWhenAnExceptionLeavesTheScope) {
    EXPECT_THROW(
        {
            const platform::ScopedSeam seam(setAnswer, [] { return 2; });
            throw std::runtime_error("test failed");
        },
        std::runtime_error);
    EXPECT_FALSE(installedAnswer());
}

TEST(ScopedSeam, ReleasesTheReplacementWhenItEnds) {
    auto state = std::make_shared<int>(7);
    const std::weak_ptr<int> watched = state;
    {
        const platform::ScopedSeam seam(setAnswer, [state = std::move(state)] { return *state; });
        EXPECT_EQ(ask(), 7);
    }
    EXPECT_TRUE(watched.expired());
}
