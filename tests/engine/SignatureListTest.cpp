#include "engine/SignatureList.h"

#include "engine/StringSignature.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

struct ListCase {
    const char* what;
    std::optional<std::vector<std::string>> lines; // no database file when unset
    std::vector<std::string> databaseNames;
    bool problem;
    friend void PrintTo(const ListCase& c, std::ostream* out) { *out << c.what; }
};

class SignatureListTest : public ::testing::TestWithParam<ListCase> {};

// The database's names come first, then the fourteen built-in names, numbered on from them.
TEST_P(SignatureListTest, ListsDatabaseNamesThenBuiltInNames) {
    const ListCase& c = GetParam();
    const testsupport::TempDir dir;
    const std::string path = dir.file("Virus Database.dll");
    if (c.lines) {
        testsupport::writeFile(path, testsupport::databaseText(*c.lines));
    }
    const SignatureList list = BuildSignatureList(path);

    std::vector<std::string> expected;
    for (const auto& name : c.databaseNames) {
        expected.push_back(std::to_string(expected.size() + 1) + ". " + name);
    }
    for (const auto& entry : StringSignature::VirusEntries()) {
        expected.push_back(std::to_string(expected.size() + 1) + ". " + entry.name);
    }
    EXPECT_EQ(list.items, expected);
    EXPECT_EQ(list.totalLine, "Total Signatures : " + std::to_string(expected.size()));
    EXPECT_EQ(list.problem.empty(), !c.problem) << list.problem;
}

INSTANTIATE_TEST_SUITE_P(
    SignatureList, SignatureListTest,
    ::testing::Values(ListCase{"LineWithoutColonIsListedWholeButUnsound",
                               {{"352441C2:w32.alpha", "No colon on this line",
                                 "CBF43926:Name:with:colons", "Selesai:Selesai",
                                 "DEADBEEF:After the end line"}},
                               {"w32.alpha", "No colon on this line", "Name:with:colons"},
                               true},
                      // Any line whose name is the end word ends the list, whatever its key.
                      ListCase{"EndWordUnderAnotherKey",
                               {{"352441C2:w32.alpha", "12345678:Selesai", "CBF43926:w32.beta"}},
                               {"w32.alpha"},
                               false},
                      ListCase{"NoEndLine",
                               {{"352441C2:w32.alpha", "CBF43926:w32.beta"}},
                               {"w32.alpha", "w32.beta"},
                               true},
                      ListCase{"MissingDatabase", std::nullopt, {}, true}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(SignatureList, ThreeEntriesMakeSeventeenItems) {
    const testsupport::TempDir dir;
    const std::string path = dir.file("Virus Database.dll");
    testsupport::writeFile(
        path, testsupport::databaseText({"A:one", "B:two", "C:three", "Selesai:Selesai"}));
    const SignatureList list = BuildSignatureList(path);
    ASSERT_EQ(list.items.size(), 17u);
    EXPECT_EQ(list.items[3], "4. w32.service");
    EXPECT_EQ(list.items[16], "17. Suspect level (6)");
    EXPECT_EQ(list.totalLine, "Total Signatures : 17");
}

} // namespace
