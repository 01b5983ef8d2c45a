#include "update/Minisign.h"

#include "MinisignTool.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

namespace {

using minisign_tool::read;

class MinisignTest : public ::testing::Test {
protected:
    void SetUp() override {
        minisign_tool::makeKeys(m_temp.file("a.pub"), m_temp.file("a.key"));
        minisign_tool::makeKeys(m_temp.file("b.pub"), m_temp.file("b.key"));
        minisign_tool::write(m_temp.file("message"), "version 7 of the signature set\n");
    }

    MinisignKey key(const char* name) {
        std::string error;
        const std::optional<MinisignKey> parsed = ParseMinisignKey(read(m_temp.file(name)), error);
        EXPECT_TRUE(parsed) << error;
        return parsed.value_or(MinisignKey{});
    }

    /// The signature minisign made of the message with key `secret`.
    MinisignSignature signature(const char* secret, bool legacy) {
        minisign_tool::sign(m_temp.file("message"), m_temp.file(secret), "set 7", legacy);
        std::string error;
        const std::optional<MinisignSignature> parsed =
            ParseMinisignSignature(read(m_temp.file("message.minisig")), error);
        EXPECT_TRUE(parsed) << error;
        return parsed.value_or(MinisignSignature{});
    }

    std::string message() { return read(m_temp.file("message")); }

    testsupport::TempDir m_temp;
};

TEST_F(MinisignTest, VerifiesBothAlgorithmsOfMinisignWithTheKeyItNames) {
    const std::vector<MinisignKey> keys = {key("b.pub"), key("a.pub")};
    for (const bool legacy : {false, true}) {
        const MinisignSignature made = signature("a.key", legacy);
        EXPECT_EQ(made.prehashed, !legacy);
        EXPECT_EQ(made.trustedComment, "set 7");
        EXPECT_EQ(VerifyMinisign(message(), made, keys), "") << "legacy " << legacy;
    }
}

TEST_F(MinisignTest, KeyIdReadsAsMinisignShowsIt) {
    // minisign names the id in the public key's untrusted comment.
    const std::string text = read(m_temp.file("a.pub"));
    EXPECT_NE(text.find("minisign public key " + MinisignKeyIdText(key("a.pub").keyId)),
              std::string::npos)
        << text;
}

TEST_F(MinisignTest, RefusesAnotherKeyAndEveryChangedByte) {
    const MinisignSignature made = signature("a.key", false);
    const MinisignKey a = key("a.pub");
    const MinisignKey b = key("b.pub");

    EXPECT_EQ(VerifyMinisign(message(), made, {b}),
              "the signature's key " + MinisignKeyIdText(a.keyId) + " is not trusted");
    EXPECT_EQ(VerifyMinisign(message(), made, {}),
              "the signature's key " + MinisignKeyIdText(a.keyId) + " is not trusted");
    // Another key that claims the signer's id.
    MinisignKey impostor = b;
    impostor.keyId = a.keyId;
    EXPECT_NE(VerifyMinisign(message(), made, {impostor}), "");

    std::string changedMessage = message();
    changedMessage[3] ^= 1;
    EXPECT_NE(VerifyMinisign(changedMessage, made, {a}), "");
    EXPECT_NE(VerifyMinisign(message() + "x", made, {a}), "");

    MinisignSignature changed = made;
    changed.signature[10] ^= 0x80;
    EXPECT_NE(VerifyMinisign(message(), changed, {a}), "");
    changed = made;
    changed.trustedComment = "set 8";
    EXPECT_EQ(VerifyMinisign(message(), changed, {a}),
              "the signature's trusted comment is not signed by key " + MinisignKeyIdText(a.keyId));
    changed = made;
    changed.globalSignature[0] ^= 1;
    EXPECT_NE(VerifyMinisign(message(), changed, {a}), "");
    // The algorithm byte is signed over too: the same signature read as the other one fails.
    changed = made;
    changed.prehashed = false;
    EXPECT_NE(VerifyMinisign(message(), changed, {a}), "");
}

TEST_F(MinisignTest, ParsingRefusesWhatIsNotAKeyOrSignature) {
    const std::string pub = read(m_temp.file("a.pub"));
    signature("a.key", false);
    const std::string sig = read(m_temp.file("message.minisig"));
    std::string error;

    // Both read with Windows line ends and trailing blank lines too.
    std::string crlf;
    for (const char c : sig) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_TRUE(ParseMinisignSignature(crlf + "\n\n", error)) << error;
    EXPECT_TRUE(ParseMinisignKey(pub + "\n", error)) << error;

    const std::size_t keyLine = pub.find('\n') + 1;
    for (const std::string& bad : {
             std::string(),
             std::string("untrusted comment: x\n"),
             pub.substr(keyLine),                                     // no comment line
             pub.substr(0, keyLine) + "RWQ=\n",                       // too short
             pub.substr(0, keyLine) + "!!" + pub.substr(keyLine + 2), // not base64
             pub + "more\n",
             std::string(20000, 'A'),
         }) {
        EXPECT_FALSE(ParseMinisignKey(bad, error)) << bad;
        EXPECT_NE(error, "");
    }
    const std::size_t second = sig.find('\n') + 1;
    const std::size_t third = sig.find('\n', second) + 1;
    std::string otherAlgorithm = sig;
    // "RU" starts the base64 of "ED"; "RV" is another first byte.
    otherAlgorithm[second + 1] = 'V';
    for (const std::string& bad : {
             sig.substr(0, third), // no trusted comment
             sig.substr(0, third) + "comment: x\n" +
                 sig.substr(sig.rfind('\n', sig.size() - 2) + 1),
             otherAlgorithm,
             sig + "extra\n",
             pub,
         }) {
        EXPECT_FALSE(ParseMinisignSignature(bad, error)) << bad;
        EXPECT_NE(error, "");
    }
}

} // namespace
