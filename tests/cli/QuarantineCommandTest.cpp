#include "cli/Commands.h"
#include "scanner/QuarantineStore.h"
#include "testsupport/CommandRun.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using testsupport::CommandRun;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

namespace fs = std::filesystem;

class QuarantineCommand : public ::testing::Test {
protected:
    CommandRun kesto(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"--quarantine-dir", m_quarantine});
        return testsupport::runCommand(runKesto, arguments);
    }
    /// Puts `content` into quarantine as NAME_vir, recorded as coming from `location`.
    void quarantined(const std::string& name, const std::string& location,
                     const std::string& content) const {
        writeFile(m_quarantine + "/" + name, content);
        platform::FolderHandle folder;
        platform::FileFacts facts;
        ASSERT_FALSE(folder.openPath(m_quarantine));
        ASSERT_FALSE(platform::factsOf(folder, name, facts));
        ASSERT_EQ(SealQuarantinedFile(folder, name, location, "Test.Threat", facts), "");
    }

    testsupport::TempDir m_dir;
    std::string m_root = fs::canonical(m_dir.path()).string();
    std::string m_quarantine = m_root + "/Karantina";
};

TEST_F(QuarantineCommand, ListsRestoresAndDeletes) {
    EXPECT_EQ(kesto({"quarantine", "list"}).out,
              "No quarantined files in '" + m_quarantine + "'\n");
    fs::create_directory(m_root + "/home");
    quarantined("a\nb_vir", m_root + "/home/a\nb", "aaa");
    quarantined("c_vir", m_root + "/home/c", "c");

    const CommandRun listed = kesto({"quarantine", "list"});
    EXPECT_EQ(listed.code, kExitClean);
    EXPECT_TRUE(
        listed.out.starts_with("a\\x0ab_vir: " + m_root + "/home/a\\x0ab (Test.Threat, 3 bytes, "))
        << listed.out;
    const CommandRun json = kesto({"quarantine", "list", "--json"});
    EXPECT_NE(json.out.find("\"name\": \"a\\nb_vir\", \"present\": true, \"location\": \"" +
                            m_root + "/home/a\\nb\""),
              std::string::npos)
        << json.out;

    const CommandRun restored = kesto({"quarantine", "restore", "a\nb_vir"});
    EXPECT_EQ(restored.code, kExitClean) << restored.err;
    EXPECT_EQ(restored.out, "restored 'a\\x0ab_vir' to '" + m_root + "/home/a\\x0ab'\n");
    EXPECT_EQ(readFile(m_root + "/home/a\nb"), "aaa");

    const CommandRun again = kesto({"quarantine", "restore", "a\nb_vir"});
    EXPECT_EQ(again.code, kExitError);
    EXPECT_EQ(again.err, "kesto: 'a\\x0ab_vir' is not in the quarantine folder\n");

    fs::create_directory(m_root + "/other");
    EXPECT_EQ(kesto({"quarantine", "restore", "c_vir", "--to", m_root + "/other"}).code,
              kExitClean);
    EXPECT_EQ(readFile(m_root + "/other/c"), "c");

    quarantined("d_vir", m_root + "/home/d", "d");
    const CommandRun deleted = kesto({"quarantine", "delete", "d_vir"});
    EXPECT_EQ(deleted.out, "deleted 'd_vir' and its record\n");
    EXPECT_FALSE(fs::exists(m_quarantine + "/d_vir"));
}

TEST_F(QuarantineCommand, BadUsageExitsTwo) {
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"quarantine"},
                                               {"quarantine", "lst"},
                                               {"quarantine", "restore"},
                                               {"quarantine", "delete", "a_vir", "b_vir"},
                                               {"quarantine", "delete", "a_vir", "--to", "/tmp"},
                                               {"quarantine", "restore", "a_vir", "--to="},
                                               {"quarantine", "restore", "a_vir", "--json"}}) {
        const CommandRun run = kesto(bad);
        EXPECT_EQ(run.code, kExitError) << bad.size();
        EXPECT_TRUE(run.out.empty());
        // One line says what was wrong, the next where to read more.
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
        EXPECT_TRUE(run.err.ends_with("\nTry 'kesto --help'.\n")) << run.err;
    }
}

} // namespace
