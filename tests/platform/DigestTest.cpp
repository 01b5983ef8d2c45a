#include "platform/Digest.h"

#include <gtest/gtest.h>

TEST(Digest, Sha256MatchesKnownValuesWhetherGivenWholeOrInPieces) {
    platform::Sha256 empty;
    ASSERT_TRUE(empty.ready());
    EXPECT_EQ(empty.hexDigest(),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    platform::Sha256 whole;
    whole.update(text);
    platform::Sha256 pieces;
    for (std::size_t at = 0; at < text.size(); at += 7) {
        pieces.update(std::string_view(text).substr(at, 7));
    }
    const std::string expected = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
    EXPECT_EQ(whole.hexDigest(), expected);
    EXPECT_EQ(pieces.hexDigest(), expected);
}

TEST(Digest, Base64RoundTripsEveryLengthAndByte) {
    EXPECT_EQ(platform::toBase64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(platform::toBase64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(platform::toBase64("foob"), "Zm9vYg==");
    EXPECT_EQ(platform::toBase64(""), "");
    std::string bytes;
    for (int value = 0; value < 256; ++value) {
        bytes += static_cast<char>(value);
    }
    for (std::size_t length = 0; length < 8; ++length) {
        const std::string part = bytes.substr(250 - length * 30, length);
        EXPECT_EQ(platform::fromBase64(platform::toBase64(part)), part) << length;
    }
    EXPECT_EQ(platform::fromBase64(platform::toBase64(bytes)), bytes);
}

TEST(Digest, Base64RefusesAnythingButExactPaddedText) {
    for (const char* bad :
         {"Zg", "Zg=", "Zg===", "Zh==", "Zm9v YmFy", "Zm9vYmFy\n", "Zm9v!mFy", "Zm9vYmE", "=Zm9"}) {
        EXPECT_FALSE(platform::fromBase64(bad).has_value()) << bad;
    }
    EXPECT_EQ(platform::fromBase64("Zg=="), "f");
}
