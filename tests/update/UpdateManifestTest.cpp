#include "update/UpdateManifest.h"

#include <gtest/gtest.h>

namespace {

const std::string kSum(64, 'a');

std::string fileText(const std::string& name, const std::string& size = "12",
                     const std::string& sha256 = "\"" + kSum + "\"") {
    return R"({"name": )" + name + R"(, "size": )" + size + R"(, "sha256": )" + sha256 + "}";
}

std::string manifestText(const std::string& files, const std::string& version = "3",
                         const std::string& format = "1",
                         const std::string& date = "\"2024-05-31\"") {
    return R"({"format": )" + format + R"(, "version": )" + version + R"(, "date": )" + date +
           R"(, "files": [)" + files + "]}";
}

TEST(UpdateManifestTest, ReadsVersionDateAndFiles) {
    std::string error;
    const std::optional<UpdateManifest> manifest = ParseUpdateManifest(
        manifestText(fileText("\"a.hashes\"") + "," +
                     fileText("\"rules.yara\"", "0", "\"" + std::string(64, '0') + "\"")),
        error);
    ASSERT_TRUE(manifest) << error;
    EXPECT_EQ(manifest->version, 3u);
    EXPECT_EQ(manifest->date, "2024-05-31");
    ASSERT_EQ(manifest->files.size(), 2u);
    EXPECT_EQ(manifest->files[0].name, "a.hashes");
    EXPECT_EQ(manifest->files[0].size, 12u);
    EXPECT_EQ(manifest->files[0].sha256, kSum);
    EXPECT_EQ(manifest->files[1].size, 0u);
    // The largest allowed values pass.
    EXPECT_TRUE(ParseUpdateManifest(
        manifestText(fileText("\"x.hdb\"", "1073741824"), "18446744073709551615"), error))
        << error;
}

TEST(UpdateManifestTest, RefusesEveryNameThatIsNotOnePlainSignatureFile) {
    for (const std::string& name : std::vector<std::string>{
             R"("")",
             R"("../evil.hashes")",
             R"("sub/x.hashes")",
             R"("..\\x.hashes")",
             R"(".")",
             R"("..")",
             R"(".hidden.hashes")",
             R"("a\u0001.hashes")",
             R"("a\n.hashes")",
             R"("a\u007f.yar")",
             R"("manifest.json")",
             R"("manifest.json.minisig")",
             R"("x.exe")",
             R"("hashes")",
             R"(".hashes")",
             R"("x.hashes.sh")",
             R"("x.HASHES")",
             "7",
             "null",
             "\"" + std::string(249, 'n') + ".hashes\"",
         }) {
        std::string error;
        EXPECT_FALSE(ParseUpdateManifest(manifestText(fileText(name)), error)) << name;
        EXPECT_NE(error, "") << name;
    }
    std::string error;
    EXPECT_TRUE(ParseUpdateManifest(
        manifestText(fileText("\"" + std::string(248, 'n') + ".hashes\"")), error))
        << error;
    EXPECT_FALSE(ParseUpdateManifest(
        manifestText(fileText("\"a.hashes\"") + "," + fileText("\"a.hashes\"")), error));
    EXPECT_EQ(error, "the manifest lists \"a.hashes\" twice");
}

TEST(UpdateManifestTest, RefusesBadDocumentsFieldsAndSizes) {
    const std::string good = fileText("\"a.hashes\"");
    std::string tooMany;
    for (int index = 0; index <= 10000; ++index) {
        tooMany += (index == 0 ? "" : ",") + fileText("\"f" + std::to_string(index) + ".hdb\"");
    }
    std::string tooLarge;
    for (int index = 0; index < 5; ++index) {
        tooLarge += (index == 0 ? "" : ",") +
                    fileText("\"f" + std::to_string(index) + ".hdb\"", "1073741824");
    }
    for (const std::string& text : std::vector<std::string>{
             std::string("not json"),
             std::string("[]"),
             std::string("{}"),
             manifestText(good) + "x",
             manifestText(good, "3", "2"),
             manifestText(good, "3", "\"1\""),
             manifestText(good, "0"),
             manifestText(good, "-1"),
             manifestText(good, "1.5"),
             manifestText(good, "\"3\""),
             manifestText(good, "18446744073709551616"),
             manifestText(good, "3", "1", "\"2024-13-01\""),
             manifestText(good, "3", "1", "\"24-05-31\""),
             manifestText(good, "3", "1", "20240531"),
             R"({"format": 1, "version": 3, "date": "2024-05-31"})",
             R"({"format": 1, "version": 3, "date": "2024-05-31", "files": {}})",
             manifestText("7"),
             manifestText(R"({"name": "a.hashes", "sha256": ")" + kSum + "\"}"),
             manifestText(fileText("\"a.hashes\"", "-1")),
             manifestText(fileText("\"a.hashes\"", "\"12\"")),
             manifestText(fileText("\"a.hashes\"", "1073741825")),
             manifestText(fileText("\"a.hashes\"", "12", "\"" + std::string(64, 'A') + "\"")),
             manifestText(fileText("\"a.hashes\"", "12", "\"" + std::string(63, 'a') + "\"")),
             manifestText(fileText("\"a.hashes\"", "12", "null")),
             tooMany,
             tooLarge,
             manifestText(good) + std::string(4u << 20, ' '),
             std::string(100000, '[') + std::string(100000, ']'),
         }) {
        std::string error;
        EXPECT_FALSE(ParseUpdateManifest(text, error)) << text.substr(0, 200);
        EXPECT_NE(error, "") << text.substr(0, 200);
    }
}

} // namespace
