#include "signatures/HashIndex.h"

#include <gtest/gtest.h>
#include <random>
#include <set>

using platform::HashKind;
using platform::kindBit;

namespace {

platform::Digest digestOf(std::uint64_t seed) {
    platform::Digest digest{};
    std::mt19937_64 random(seed);
    for (std::size_t i = 0; i < digest.size(); i += 8) {
        const std::uint64_t word = random();
        for (std::size_t j = 0; j < 8; ++j) {
            digest[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
        }
    }
    return digest;
}

HashEntry entry(HashKind kind, std::uint64_t seed, std::optional<std::uint64_t> size,
                std::uint64_t lineOffset) {
    HashEntry result;
    result.kind = kind;
    result.digest = digestOf(seed);
    // A short kind's digest has zero bytes past its length, as the parser gives it.
    for (std::size_t i = platform::digestLength(kind); i < result.digest.size(); ++i) {
        result.digest[i] = 0;
    }
    result.size = size;
    result.lineOffset = lineOffset;
    return result;
}

platform::FileDigests digestsOf(std::initializer_list<HashEntry> entries) {
    platform::FileDigests digests;
    for (const HashEntry& one : entries) {
        digests.kinds |= kindBit(one.kind);
        digests.values[static_cast<std::size_t>(one.kind)] = one.digest;
    }
    return digests;
}

std::optional<std::pair<std::uint16_t, std::uint64_t>>
where(const HashIndex& index, const platform::FileDigests& digests, std::uint64_t size) {
    const auto found = index.find(digests, size);
    if (!found) {
        return std::nullopt;
    }
    return std::pair{found->source, found->lineOffset};
}

} // namespace

TEST(HashIndex, SizedEntriesMatchTheirSizeOnlyAndUnsizedAnySize) {
    HashIndex::Builder builder;
    const HashEntry sized = entry(HashKind::Sha256, 1, 1000, 10);
    const HashEntry unsized = entry(HashKind::Md5, 2, std::nullopt, 20);
    const HashEntry sha1 = entry(HashKind::Sha1, 3, 0, 30);
    builder.add(sized, 1);
    builder.add(unsized, 2);
    builder.add(sha1, 3);
    const HashIndex index = std::move(builder).build();
    EXPECT_EQ(index.entryCount(), 3);
    EXPECT_TRUE(index.hasUnsized());

    EXPECT_EQ(where(index, digestsOf({sized}), 1000),
              (std::pair<std::uint16_t, std::uint64_t>{1, 10}));
    EXPECT_FALSE(where(index, digestsOf({sized}), 999));
    EXPECT_FALSE(where(index, digestsOf({sized}), 1001));
    EXPECT_EQ(where(index, digestsOf({unsized}), 5),
              (std::pair<std::uint16_t, std::uint64_t>{2, 20}));
    EXPECT_EQ(where(index, digestsOf({unsized}), 1ULL << 40),
              (std::pair<std::uint16_t, std::uint64_t>{2, 20}));
    EXPECT_EQ(where(index, digestsOf({sha1}), 0), (std::pair<std::uint16_t, std::uint64_t>{3, 30}));

    // A digest counts only for the kind it was computed as, and only when it was computed.
    platform::FileDigests asOtherKind;
    asOtherKind.kinds = kindBit(HashKind::Sha256);
    asOtherKind.values[static_cast<std::size_t>(HashKind::Sha256)] = unsized.digest;
    EXPECT_FALSE(where(index, asOtherKind, 5));
    platform::FileDigests notComputed = digestsOf({sized});
    notComputed.kinds = kindBit(HashKind::Md5);
    EXPECT_FALSE(where(index, notComputed, 1000));
    EXPECT_FALSE(where(index, digestsOf({entry(HashKind::Sha256, 4, 1000, 0)}), 1000));
}

TEST(HashIndex, KindsForAsksOnlyForKindsThatCouldMatchTheSize) {
    const HashIndex empty = HashIndex::Builder().build();
    EXPECT_EQ(empty.kindsFor(0, 1 << 20), 0);
    EXPECT_EQ(empty.entryCount(), 0);
    EXPECT_FALSE(empty.hasUnsized());

    // Many sizes, so that the sizes searched span many blocks of the index's guide.
    std::mt19937_64 random(7);
    std::set<std::uint64_t> sha256Sizes;
    std::set<std::uint64_t> md5Sizes;
    HashIndex::Builder builder;
    for (std::uint64_t i = 0; i < 5000; ++i) {
        const std::uint64_t size = random() % 100'000;
        sha256Sizes.insert(size);
        builder.add(entry(HashKind::Sha256, i, size, i), 1);
        if (i % 3 == 0) {
            md5Sizes.insert(size + 1);
            builder.add(entry(HashKind::Md5, i, size + 1, i), 2);
        }
    }
    builder.add(entry(HashKind::Sha1, 1, std::nullopt, 0), 3);
    const HashIndex index = std::move(builder).build();
    const std::uint64_t maxUnsized = 50'000;
    for (std::uint64_t size = 0; size < 100'003; ++size) {
        platform::HashKinds expected = 0;
        if (sha256Sizes.count(size) != 0) {
            expected |= kindBit(HashKind::Sha256);
        }
        if (md5Sizes.count(size) != 0) {
            expected |= kindBit(HashKind::Md5);
        }
        if (size <= maxUnsized) {
            expected |= kindBit(HashKind::Sha1);
        }
        ASSERT_EQ(index.kindsFor(size, maxUnsized), expected) << size;
    }
    EXPECT_EQ(index.kindsFor(UINT64_MAX, UINT64_MAX), kindBit(HashKind::Sha1));
}

TEST(HashIndex, TheLowestSourceAndThenTheEarliestLineNamesAFile) {
    HashIndex::Builder builder;
    const HashEntry sized = entry(HashKind::Sha256, 1, 64, 0);
    const HashEntry md5 = entry(HashKind::Md5, 1, 64, 0);
    auto at = [](HashEntry one, std::uint64_t lineOffset) {
        one.lineOffset = lineOffset;
        return one;
    };
    builder.add(at(sized, 900), 3);
    builder.add(at(sized, 500), 2);
    builder.add(at(sized, 700), 2);
    builder.add(at(sized, 100), 4);
    builder.add(at(sized, 500), 2); // the same line given twice
    const HashIndex bySource = std::move(builder).build();
    EXPECT_EQ(bySource.entryCount(), 1);
    EXPECT_EQ(where(bySource, digestsOf({sized}), 64),
              (std::pair<std::uint16_t, std::uint64_t>{2, 500}));

    // Between an entry with a size and one without, and between kinds, the same rule decides.
    HashIndex::Builder mixed;
    HashEntry unsized = at(sized, 300);
    unsized.size.reset();
    mixed.add(at(sized, 200), 5);
    mixed.add(unsized, 5);
    mixed.add(at(md5, 250), 5);
    const HashIndex both = std::move(mixed).build();
    EXPECT_EQ(both.entryCount(), 3);
    EXPECT_EQ(where(both, digestsOf({sized}), 64),
              (std::pair<std::uint16_t, std::uint64_t>{5, 200}));
    EXPECT_EQ(where(both, digestsOf({sized}), 65),
              (std::pair<std::uint16_t, std::uint64_t>{5, 300}));
    EXPECT_EQ(where(both, digestsOf({sized, md5}), 65),
              (std::pair<std::uint16_t, std::uint64_t>{5, 300}));
    EXPECT_EQ(where(both, digestsOf({md5}), 64), (std::pair<std::uint16_t, std::uint64_t>{5, 250}));
    EXPECT_EQ(where(both, digestsOf({sized, md5}), 64),
              (std::pair<std::uint16_t, std::uint64_t>{5, 200}));
}

TEST(HashIndex, KeepsEntriesPackedAndDropsOffsetsItCannotHold) {
    HashIndex::Builder builder;
    constexpr std::uint64_t kCount = 100'000;
    for (std::uint64_t i = 0; i < kCount; ++i) {
        builder.add(entry(HashKind::Sha256, i, i * 13, i * 100), 1);
    }
    builder.add(entry(HashKind::Sha256, kCount, 5, std::uint64_t{1} << 48), 1);
    const HashIndex index = std::move(builder).build();
    EXPECT_EQ(index.entryCount(), kCount);
    EXPECT_EQ(index.droppedEntries(), 1);
    // A digest, a size and where it is listed: 48 bytes, and a size filter and a guide of about
    // two bytes an entry beside them.
    EXPECT_LE(index.memoryBytes(), kCount * 48 + kCount * 3);
    EXPECT_EQ(where(index, digestsOf({entry(HashKind::Sha256, 777, 0, 0)}), 777 * 13),
              (std::pair<std::uint16_t, std::uint64_t>{1, 77'700}));
    EXPECT_FALSE(where(index, digestsOf({entry(HashKind::Sha256, kCount, 0, 0)}), 5));
}
