#include "engine/SignatureDatabase.h"

#include "engine/KestoEngine.h"
#include "engine/clsCRC.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/UnreadableFile.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using testsupport::databaseText;

/// Lines joined with `endings` used in turn.
std::string joinLines(const std::vector<std::string>& lines,
                      const std::vector<std::string_view>& endings) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        text += endings[i % endings.size()];
    }
    return text;
}

/// Puts the marked checksum back to unmarked however the test ends.
struct TempDbReset {
    ~TempDbReset() { KestoEngine::SetTempDbChecksum(""); }
};

class SignatureDatabaseTest : public ::testing::Test {
protected:
    void write(std::string_view text) const { testsupport::writeFile(m_path, text); }

    testsupport::TempDir m_dir;
    std::string m_path = m_dir.file("Virus Database.dll");
};

class LineEndings : public SignatureDatabaseTest,
                    public ::testing::WithParamInterface<std::vector<std::string_view>> {};

TEST_P(LineEndings, LookupReadsLikeALineByLineReader) {
    write(joinLines({"352441C2:First", "ABCDEF01:Name: with: colons", "352441C2:Second",
                     "abcdef02:lower-case key", "0:Zero", "CBF43926:", "Selesai:Selesai",
                     "DEADBEEF:After the end line"},
                    GetParam()));
    const SignatureDatabase database(m_path);
    const struct {
        std::string_view key;
        std::string_view name;
    } cases[] = {
        {"352441C2", "First"}, {"ABCDEF01", "Name: with: colons"},
        {"ABCDEF02", ""},      {"0", "Zero"},
        {"CBF43926", ""},      {"DEADBEEF", ""},
        {"352441C", ""},       {"352441C2 ", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(database.lookup(c.key), c.name) << c.key;
    }
    EXPECT_EQ(database.problem(), "");
}

INSTANTIATE_TEST_SUITE_P(SignatureDatabase, LineEndings,
                         ::testing::Values(std::vector<std::string_view>{"\r\n"},
                                           std::vector<std::string_view>{"\r"},
                                           std::vector<std::string_view>{"\n"},
                                           std::vector<std::string_view>{"\r\n", "\n", "\r"}));

TEST_F(SignatureDatabaseTest, MarkedChecksumIsReportedAsUserRequest) {
    const TempDbReset reset;
    write(databaseText({"352441C2:Known", "Selesai:Selesai"}));
    const SignatureDatabase database(m_path);
    EXPECT_EQ(KestoEngine::LookupChecksum(database, "CBF43926"), "");
    KestoEngine::SetTempDbChecksum("CBF43926");
    EXPECT_EQ(KestoEngine::LookupChecksum(database, "CBF43926"), "User Request");
    EXPECT_EQ(KestoEngine::LookupChecksum(database, "352441C2"), "Known");
    // The mark wins over the database's own name, and a new mark replaces the old one.
    KestoEngine::SetTempDbChecksum("352441C2");
    EXPECT_EQ(KestoEngine::LookupChecksum(database, "352441C2"), "User Request");
    EXPECT_EQ(KestoEngine::LookupChecksum(database, "CBF43926"), "");
    EXPECT_EQ(database.lookup("352441C2"), "Known");

    // A lookup the database cannot answer fails before the mark is looked at.
    write(databaseText({"11111111:Other"}));
    KestoEngine::SetTempDbChecksum("CBF43926");
    EXPECT_THROW(KestoEngine::LookupChecksum(database, "CBF43926"), DatabaseError);
}

struct BrokenCase {
    const char* what;
    std::vector<std::string> lines;
    bool secondKeyAnswered; // whether BBBB2222 comes before the point where reading stops
    friend void PrintTo(const BrokenCase& c, std::ostream* out) { *out << c.what; }
};

class BrokenDatabase : public SignatureDatabaseTest,
                       public ::testing::WithParamInterface<BrokenCase> {};

// Keys on lines before the point where reading stops are still answered; every other lookup fails.
TEST_P(BrokenDatabase, AnswersOnlyWhatComesBeforeTheFault) {
    write(databaseText(GetParam().lines));
    const SignatureDatabase database(m_path);
    EXPECT_EQ(database.lookup("AAAA1111"), "Before");
    EXPECT_THROW(database.lookup("CCCC3333"), DatabaseError);
    EXPECT_NE(database.problem(), "");
    if (GetParam().secondKeyAnswered) {
        EXPECT_EQ(database.lookup("BBBB2222"), "After");
    } else {
        EXPECT_THROW(database.lookup("BBBB2222"), DatabaseError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    SignatureDatabase, BrokenDatabase,
    ::testing::Values(
        BrokenCase{"LineWithoutColon",
                   {"AAAA1111:Before", "no colon", "BBBB2222:After", "Selesai:Selesai"},
                   false},
        BrokenCase{
            "EmptyLine", {"AAAA1111:Before", "", "BBBB2222:After", "Selesai:Selesai"}, false},
        BrokenCase{"NoEndLine", {"AAAA1111:Before", "BBBB2222:After"}, true},
        BrokenCase{
            "EndLineInOtherCase", {"AAAA1111:Before", "BBBB2222:After", "selesai:selesai"}, true}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(SignatureDatabaseTest, MissingOrUnreadableDatabaseFailsEveryLookup) {
    const SignatureDatabase database(m_path);
    EXPECT_THROW(database.lookup("AAAA1111"), DatabaseError);
    EXPECT_THROW(database.problem(), DatabaseError);
    write(databaseText({"AAAA1111:Found", "Selesai:Selesai"}));
    EXPECT_EQ(database.lookup("AAAA1111"), "Found");
    // Once read, the database must not be answered from memory after it is gone.
    std::filesystem::remove(m_path);
    EXPECT_THROW(database.lookup("AAAA1111"), DatabaseError);
    EXPECT_THROW(SignatureDatabase(m_dir.path()).lookup("AAAA1111"), DatabaseError);
    const testsupport::UnreadableFile unreadable(m_dir.file("pipe"));
    EXPECT_THROW(SignatureDatabase(m_dir.file("pipe")).lookup("AAAA1111"), DatabaseError);
}

TEST_F(SignatureDatabaseTest, KeysAndNamesAreRawBytes) {
    const std::string nulKey("A\0B", 3);
    const std::string oddName = "\xC3\x28\xFF name with a NUL \0 inside"s;
    const std::string longName = testsupport::noise(10 << 20, 5);
    write(databaseText({nulKey + ":NUL in the key", "C0FFEE:" + oddName, "\xFF\xFE:not UTF-8",
                        "BEEF:" + longName, "Selesai:Selesai"}));
    const SignatureDatabase database(m_path);
    EXPECT_EQ(database.lookup(nulKey), "NUL in the key");
    EXPECT_EQ(database.lookup("A"), "");
    EXPECT_EQ(database.lookup("C0FFEE"), oddName);
    EXPECT_EQ(database.lookup("\xFF\xFE"), "not UTF-8");
    EXPECT_TRUE(database.lookup("BEEF") == longName);
}

TEST_F(SignatureDatabaseTest, MillionLineDatabase) {
    constexpr std::uint32_t kLines = 1'000'000;
    const auto keyOf = [](std::uint32_t line) {
        // Multiplying by an odd number is a bijection, so every line gets its own key.
        char digits[8];
        const auto end = std::to_chars(digits, digits + 8, line * 2654435761u, 16).ptr;
        std::string key(digits, end);
        for (char& c : key) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return key;
    };
    std::string text;
    text.reserve(std::size_t{kLines} * 28);
    for (std::uint32_t line = 0; line < kLines; ++line) {
        text += keyOf(line) + ":Threat " + std::to_string(line) + "\r\n";
    }
    text += keyOf(1) + ":Duplicate\r\nSelesai:Selesai\r\n";
    write(text);

    const SignatureDatabase database(m_path);
    for (const std::uint32_t line : {0u, 1u, kLines / 2, kLines - 1}) {
        EXPECT_EQ(database.lookup(keyOf(line)), "Threat " + std::to_string(line));
    }
    EXPECT_EQ(database.lookup(keyOf(kLines)), "");
}

TEST_F(SignatureDatabaseTest, EveryChangeOfTheFileIsSeen) {
    write(databaseText({"AAAA1111:Old", "Selesai:Selesai"}));
    const SignatureDatabase database(m_path);
    EXPECT_EQ(database.lookup("AAAA1111"), "Old");
    // Same size and file, rewritten at once: size and times may all look unchanged.
    write(databaseText({"AAAA1111:New", "Selesai:Selesai"}));
    EXPECT_EQ(database.lookup("AAAA1111"), "New");
    write(databaseText({"BBBB2222:Added", "AAAA1111:Newer", "Selesai:Selesai"}));
    EXPECT_EQ(database.lookup("BBBB2222"), "Added");
    EXPECT_EQ(database.lookup("AAAA1111"), "Newer");
    write(databaseText({"AAAA1111:Newest"}));
    EXPECT_EQ(database.lookup("AAAA1111"), "Newest");
    EXPECT_THROW(database.lookup("BBBB2222"), DatabaseError);
    // Replaced by another file of the same size.
    testsupport::writeFile(m_path + ".new", databaseText({"AAAA1111:Renamed", "Selesai:Selesai"}));
    std::filesystem::rename(m_path + ".new", m_path);
    EXPECT_EQ(database.lookup("AAAA1111"), "Renamed");
    // The bytes handed out are those of the file answering now, and outlive a later change.
    const auto held = database.content(0);
    EXPECT_EQ(*held, databaseText({"AAAA1111:Renamed", "Selesai:Selesai"}));
    write(databaseText({"CCCC3333:Later", "Selesai:Selesai"}));
    EXPECT_EQ(*database.content(0), databaseText({"CCCC3333:Later", "Selesai:Selesai"}));
    EXPECT_EQ(*held, databaseText({"AAAA1111:Renamed", "Selesai:Selesai"}));
    std::filesystem::remove(m_path);
    EXPECT_THROW(database.content(0), DatabaseError);
}

TEST_F(SignatureDatabaseTest, ARoundLooksAtTheFileOnceAndEveryNewRoundAgain) {
    write(databaseText({"AAAA1111:Old", "Selesai:Selesai"}));
    const SignatureDatabase database(m_path);
    const std::uint64_t first = database.startRound();
    std::uint64_t oldVersion = 0;
    EXPECT_EQ(database.lookup("AAAA1111", first, &oldVersion), "Old");
    write(databaseText({"AAAA1111:New", "Selesai:Selesai"}));
    EXPECT_EQ(database.lookup("AAAA1111", first), "Old");
    EXPECT_EQ(database.version(first), oldVersion);
    const std::uint64_t second = database.startRound();
    EXPECT_GT(second, first);
    // A look for a later round also answers for the earlier ones: it came after they started.
    std::uint64_t newVersion = 0;
    EXPECT_EQ(database.lookup("AAAA1111", second, &newVersion), "New");
    EXPECT_NE(newVersion, oldVersion);
    EXPECT_EQ(database.version(0), newVersion);
    EXPECT_EQ(database.lookup("AAAA1111"), "New");

    // A database that cannot be read fails every lookup of the round, not only the first.
    std::filesystem::remove(m_path);
    const std::uint64_t third = database.startRound();
    EXPECT_THROW(database.lookup("AAAA1111", third), DatabaseError);
    EXPECT_THROW(database.lookup("AAAA1111", third), DatabaseError);
    write(databaseText({"AAAA1111:Back", "Selesai:Selesai"}));
    EXPECT_EQ(database.lookup("AAAA1111", third), "Back");
}

/// Folder of the built programs and the shipped database, or empty when the build does not say.
std::string binaryFolder() {
#ifdef KESTO_BIN_DIR
    return KESTO_BIN_DIR;
#else
    const char* folder = std::getenv("KESTO_BIN_DIR");
    return folder != nullptr ? folder : "";
#endif
}

TEST(ShippedDatabase, NamesTheTestFileWithEachLineEnding) {
    if (binaryFolder().empty()) {
        GTEST_SKIP() << "the build folder of the programs is not known";
    }
    const SignatureDatabase database(binaryFolder() + "/" +
                                     std::string(KestoEngine::kDatabaseFileName));
    for (const char* ending : {"", "\n", "\r\n"}) {
        clsCRC crc;
        const std::string key = ChecksumText(crc.CalculateBytes(testsupport::eicar() + ending));
        EXPECT_EQ(database.lookup(key), "EICAR-Test-File (not a virus)") << key;
    }
    EXPECT_EQ(database.problem(), "");
}

} // namespace
