#include "engine/FindBytes.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

using namespace std::string_literals;

constexpr std::size_t kNone = std::string_view::npos;

/// Expects both searches to find `needle` in `haystack` at `expected` (kNone: nowhere).
void expectAt(std::string_view haystack, std::string_view needle, std::size_t expected) {
    for (const char* found : {findBytesPortable(haystack, needle), findBytes(haystack, needle)}) {
        const std::size_t at =
            found == nullptr ? kNone : static_cast<std::size_t>(found - haystack.data());
        EXPECT_EQ(at, expected) << "needle '" << needle.substr(0, 40) << "' in '"
                                << haystack.substr(0, 40) << "'";
    }
}

/// Expects both searches to agree with std::string_view::find (fine for short texts only).
void expectAsFind(std::string_view haystack, std::string_view needle) {
    expectAt(haystack, needle, haystack.find(needle));
}

TEST(FindBytes, FindsTheFirstOccurrenceWhereverItLies) {
    expectAt("needle in a haystack", "needle", 0u);
    expectAt("a haystack with a needle", "needle", 18u);
    expectAt("only hay here", "needle", kNone);
    expectAt("short", "longer than the haystack", kNone);
    expectAt("exact", "exact", 0u);
    expectAt("x", "x", 0u);
    expectAt("abc", "", 0u);
    expectAt("abababc", "ababc", 2u);   // overlapping partial matches
    expectAt("aaaaaaaaab", "aaab", 6u); // periodic prefix
    expectAt("abcabcabd abcabd", "abcabd", 3u);
    expectAt("zzzazzzaz", "az", 3u);
    expectAt("\0\xff\0\xfe"s, "\xff\0\xfe"s, 1u); // bytes above 0x7f and zeros
    expectAt("\x80\x7f\x80\x81"s, "\x80\x81"s, 2u);
}

TEST(FindBytes, StaysCorrectAndFastOnTextDenseWithTheNeedlesBytes) {
    // A naive search compares almost the whole needle at every position here: 16 MiB of "a"
    // against a needle of 4 KiB would take minutes if the search were quadratic.
    const std::string hay(16u << 20, 'a');
    const std::string tail = std::string(4096, 'a') + 'b';
    expectAt(hay + "b", tail, hay.size() + 1 - tail.size());
    expectAt(hay, tail, kNone);
    const std::string head = "b" + std::string(4096, 'a');
    expectAt(hay, head, kNone);
    expectAt("b" + hay, head, 0u);
}

TEST(FindBytes, AgreesWithAPlainSearchOnRandomSmallAlphabets) {
    // Two and three letters make the periodic and aperiodic needles the factorization must tell
    // apart; every needle is also taken from the haystack so that matches are common.
    std::mt19937 random(20261209);
    for (const int letters : {2, 3}) {
        std::uniform_int_distribution<int> letter(0, letters - 1);
        for (int round = 0; round < 4000; ++round) {
            std::string haystack(std::uniform_int_distribution<std::size_t>(0, 40)(random), 'a');
            for (char& c : haystack) {
                c = static_cast<char>('a' + letter(random));
            }
            std::string needle(std::uniform_int_distribution<std::size_t>(1, 9)(random), 'a');
            for (char& c : needle) {
                c = static_cast<char>('a' + letter(random));
            }
            expectAsFind(haystack, needle);
            if (haystack.size() > 2) {
                const std::size_t from = random() % (haystack.size() - 1);
                expectAsFind(haystack, haystack.substr(from, 2 + random() % 8));
            }
        }
    }
}

} // namespace
