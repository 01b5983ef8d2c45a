#include "platform/FileHashes.h"

#include "platform/Digest.h"

#include <gtest/gtest.h>
#include <string>

using platform::HashKind;

namespace {

std::string hexOf(const platform::FileDigests& digests, HashKind kind) {
    return platform::digestHex(kind, digests.of(kind));
}

/// Bytes that do not repeat within a hasher's piece, so that a piece given twice or left out
/// changes the digest.
std::string countingBytes(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

} // namespace

TEST(FileHashes, EachKindGivesTheKnownDigestAloneOrTogether) {
    const std::string md5 = "900150983cd24fb0d6963f7d28e17f72";
    const std::string sha1 = "a9993e364706816aba3e25717850c26c9cd0d89d";
    const std::string sha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

    platform::MultiHasher all(platform::kAllHashKinds);
    ASSERT_TRUE(all.ready());
    all.update("a");
    all.update("");
    all.update("bc");
    const platform::FileDigests together = all.finish();
    EXPECT_EQ(together.kinds, platform::kAllHashKinds);
    EXPECT_EQ(hexOf(together, HashKind::Md5), md5);
    EXPECT_EQ(hexOf(together, HashKind::Sha1), sha1);
    EXPECT_EQ(hexOf(together, HashKind::Sha256), sha256);

    // The hasher starts over after finish: the same bytes give the same digests again.
    ASSERT_TRUE(all.ready());
    all.update("abc");
    const platform::FileDigests again = all.finish();
    EXPECT_EQ(again.values, together.values);

    for (const auto& [kind, expected] :
         {std::pair{HashKind::Md5, md5}, std::pair{HashKind::Sha1, sha1},
          std::pair{HashKind::Sha256, sha256}}) {
        platform::MultiHasher one(platform::kindBit(kind));
        ASSERT_TRUE(one.ready()) << platform::hashKindName(kind);
        one.update("abc");
        const platform::FileDigests alone = one.finish();
        EXPECT_EQ(alone.kinds, platform::kindBit(kind));
        EXPECT_EQ(hexOf(alone, kind), expected);
        // Only the kind asked for is computed; the bytes past a short digest stay zero.
        for (std::size_t i = 0; i < platform::kHashKindCount; ++i) {
            if (i != static_cast<std::size_t>(kind)) {
                EXPECT_EQ(alone.values[i], platform::Digest{});
            }
        }
        for (std::size_t i = platform::digestLength(kind); i < alone.values[0].size(); ++i) {
            EXPECT_EQ(alone.of(kind)[i], 0) << platform::hashKindName(kind);
        }
    }
}

TEST(FileHashes, BigInputsGiveTheSameDigestWholeOrInPiecesOfAnySize) {
    // Longer than the pieces each kind is given in turn, and not a multiple of them.
    const std::string bytes = countingBytes(200'003);
    platform::MultiHasher whole(platform::kAllHashKinds);
    whole.update(bytes);
    const platform::FileDigests expected = whole.finish();

    platform::Sha256 reference;
    reference.update(bytes);
    EXPECT_EQ(hexOf(expected, HashKind::Sha256), reference.hexDigest());

    for (const std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{65'537}}) {
        platform::MultiHasher pieces(platform::kAllHashKinds);
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            pieces.update(std::string_view(bytes).substr(at, piece));
        }
        const platform::FileDigests digests = pieces.finish();
        EXPECT_EQ(digests.kinds, platform::kAllHashKinds);
        EXPECT_EQ(digests.values, expected.values) << piece;
    }
}

TEST(FileHashes, NoKindsComputesNothing) {
    platform::MultiHasher none(0);
    ASSERT_TRUE(none.ready());
    none.update("abc");
    const platform::FileDigests digests = none.finish();
    EXPECT_EQ(digests.kinds, 0);
    EXPECT_EQ(digests.values, (std::array<platform::Digest, platform::kHashKindCount>{}));
    EXPECT_EQ(platform::digestHex(HashKind::Md5, {0xAB, 0x01}), "ab010000000000000000000000000000");
}
