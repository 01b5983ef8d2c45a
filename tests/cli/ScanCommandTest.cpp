#include "cli/Commands.h"
#include "cli/JsonText.h"
#include "engine/clsCRC.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "scanner/DetectionList.h"
#include "testsupport/CommandRun.h"
#include "testsupport/LinkSupport.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32
#include "testsupport/Unprivileged.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using testsupport::CommandRun;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

class ScanCommandTest : public ::testing::Test {
protected:
    ScanCommandTest() {
        writeFile(database, testsupport::databaseText(
                                {ChecksumText(clsCRC().CalculateBytes(testsupport::eicar())) +
                                     ":EICAR-Test-File",
                                 "Selesai:Selesai"}));
    }

    CommandRun scan(std::vector<std::string> arguments) {
        std::vector<std::string> full{"scan", "--database", database, "--quarantine-dir",
                                      quarantine};
        full.insert(full.end(), arguments.begin(), arguments.end());
        return testsupport::runCommand(runKesto, full);
    }

#ifndef _WIN32
    /// Runs a scan with standard input read from the file at `path`.
    CommandRun scanWithInput(const std::string& path, std::vector<std::string> arguments) {
        const int saved = ::dup(STDIN_FILENO);
        const int input = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ::dup2(input, STDIN_FILENO);
        ::close(input);
        CommandRun run = scan(std::move(arguments));
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        return run;
    }
#endif

    /// `text` as JSON writes it but without the closing quote: how a longer string starts.
    static std::string jsonStart(const std::string& text) {
        std::string json = JsonString(text);
        json.pop_back();
        return json;
    }

    static std::size_t count(const std::string& text, const std::string& part) {
        std::size_t found = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++found;
        }
        return found;
    }

    TempDir tree;
    TempDir home;
    std::string database = home.file("db.dll");
    std::string quarantine = home.file("Karantina");
};

} // namespace

TEST_F(ScanCommandTest, CleanTreeExitsWithZeroAndTheCompletionLine) {
    writeFile(tree.file("a.txt"), "harmless");
    const CommandRun run = scan({tree.path()});
    EXPECT_EQ(run.code, kExitClean) << run.err;
    EXPECT_NE(run.out.find("Total File    : 1\n"), std::string::npos);
    EXPECT_NE(run.out.find("\nScanning is finished, no virus detected...\n"), std::string::npos);
}

TEST_F(ScanCommandTest, DetectionIsPrintedAsFoundAndExitsWithOne) {
    writeFile(tree.file("sub/eicar.com"), testsupport::eicar());
    const CommandRun run = scan({tree.path()});
    EXPECT_EQ(run.code, kExitDetected);
    EXPECT_EQ(
        run.out.rfind(tree.file("sub/eicar.com") + ": EICAR-Test-File FOUND (68 bytes) Send", 0),
        0u)
        << run.out;
    EXPECT_NE(run.out.find("Scanning is finished, 1 virus detected..."), std::string::npos);
}

TEST_F(ScanCommandTest, BadInputIsAnErrorWithExitTwo) {
    EXPECT_EQ(scan({tree.file("missing")}).code, kExitError);
    EXPECT_EQ(scan({}).code, kExitError);
    EXPECT_EQ(scan({"--clean", "--quarantine", tree.path()}).code, kExitError);
    EXPECT_EQ(scan({"-", "-"}).code, kExitError);
    EXPECT_EQ(scan({"--exclude=", tree.path()}).code, kExitError);
#ifdef _WIN32
    // A device name is never opened as a file: "CON" in any folder is the console.
    const std::string special = tree.file("CON");
#else
    // A FIFO is never opened: a read would wait for a writer that never comes.
    const std::string special = tree.file("fifo");
    testsupport::makeFifo(special);
#endif
    const CommandRun refused = scan({special});
    EXPECT_EQ(refused.code, kExitError);
    EXPECT_NE(refused.err.find("not a regular file or folder"), std::string::npos) << refused.err;
    std::filesystem::remove(database);
    const CommandRun noDatabase = scan({tree.path()});
    EXPECT_EQ(noDatabase.code, kExitError);
    EXPECT_NE(noDatabase.err.find("db.dll"), std::string::npos);
}

TEST_F(ScanCommandTest, DatabaseThatCannotAnswerIsReported) {
    writeFile(database, "ABC:No end line\r\n");
    writeFile(tree.file("a.txt"), "harmless");
    const CommandRun run = scan({tree.path()});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_NE(run.err.find("end line"), std::string::npos);
}

TEST_F(ScanCommandTest, QuarantineMovesEveryListedFileAndReports) {
    writeFile(tree.file("one/setup.exe"), testsupport::eicar());
    writeFile(tree.file("two/setup.exe"), testsupport::eicar());
    const CommandRun run = scan({"--quarantine", tree.path()});
    EXPECT_EQ(run.code, kExitDetected);
    EXPECT_NE(run.out.find("2 Virus has been removed to a folder '" + quarantine +
                           platform::kPathSeparator + "' ...\n"),
              std::string::npos)
        << run.out;
    // The last listed file is moved first and takes the name; the other gets the next free one.
    EXPECT_EQ(testsupport::readFile(home.file("Karantina/setup.exe_vir")), testsupport::eicar());
    EXPECT_EQ(testsupport::readFile(home.file("Karantina/setup.exe (2)_vir")),
              testsupport::eicar());
    EXPECT_FALSE(std::filesystem::exists(tree.file("two/setup.exe")));
    EXPECT_FALSE(std::filesystem::exists(tree.file("one/setup.exe")));
    // A second scan does not look into the quarantine folder.
    EXPECT_EQ(scan({home.path()}).code, kExitClean);
}

TEST_F(ScanCommandTest, CleanDeletesListedFiles) {
    writeFile(tree.file("eicar.com"), testsupport::eicar());
    const CommandRun run = scan({"--clean", tree.path()});
    EXPECT_EQ(run.code, kExitDetected);
    EXPECT_NE(run.out.find("1 Virus has been removed...\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(tree.file("eicar.com")));
}

#ifndef _WIN32
// Windows allows neither control characters nor bytes that are no UTF-8 in names.
TEST_F(ScanCommandTest, JsonIsOneDocumentWithEscapedPaths) {
    const std::string odd = "bad\xff\nname.com";
    writeFile(tree.file(odd), testsupport::eicar());
    const CommandRun run = scan({"--json", tree.path()});
    EXPECT_EQ(run.code, kExitDetected);
    EXPECT_EQ(run.out.front(), '{');
    EXPECT_NE(run.out.find("\"location\": \"" + tree.path() + "/bad\\udcff\\nname.com\""),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"completion\": \"Scanning is finished, 1 virus detected...\""),
              std::string::npos);
    EXPECT_EQ(run.out.find("FOUND"), std::string::npos);
}
#endif

TEST_F(ScanCommandTest, FilesThatCouldNotBeHandledStayListedWithTheReason) {
    writeFile(tree.file("a/eicar.com"), testsupport::eicar());
    writeFile(tree.file("b/eicar.com"), testsupport::eicar());
    // A quarantine folder that is a regular file can take nothing.
    writeFile(quarantine, "not a folder");
    const CommandRun run = scan({"--quarantine", tree.path()});
    EXPECT_EQ(run.code, kExitDetected);
    EXPECT_NE(run.out.find("0 Virus has been removed to a folder '" + quarantine +
                           platform::kPathSeparator + "' ...\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find(tree.file("a/eicar.com") + ": not quarantined ("), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(tree.file("b/eicar.com") + ": not quarantined ("), std::string::npos);
    EXPECT_NE(run.err.find("2 file(s) could not be quarantined"), std::string::npos);
    EXPECT_EQ(testsupport::readFile(tree.file("a/eicar.com")), testsupport::eicar());

    const CommandRun json = scan({"--quarantine", "--json", tree.path()});
    EXPECT_NE(json.out.find("{\"location\": " + JsonString(tree.file("b/eicar.com")) +
                            ", \"result\": \"failed\", \"reason\": \"quarantine folder"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"action\": \"0 Virus has been removed"), std::string::npos);
}

#ifndef _WIN32
// POSIX modes and a child process with another user's rights.
#ifndef _WIN32
TEST_F(ScanCommandTest, QuarantineIntoAFolderOthersCanChangeIsRefusedBeforeTheScan) {
    writeFile(tree.file("setup.exe"), testsupport::eicar());
    std::filesystem::create_directories(quarantine);
    std::filesystem::permissions(quarantine, std::filesystem::perms::all);
    const CommandRun run = scan({"--quarantine", tree.path()});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("is not trusted: others may change it"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::exists(tree.file("setup.exe")));
}
#endif

TEST_F(ScanCommandTest, EachFileIsExaminedOnceWhereverItIsNamedAgain) {
    writeFile(tree.file("f.com"), testsupport::eicar());
    writeFile(tree.file("sub/g.com"), testsupport::eicar());
    const std::string sub = tree.file("sub");
    const std::string file = tree.file("f.com");
    for (const auto& order : std::vector<std::vector<std::string>>{
             {tree.path(), tree.path(), sub, file}, {sub, file, tree.path()}}) {
        const CommandRun run = scan(order);
        EXPECT_EQ(run.code, kExitDetected);
        EXPECT_EQ(count(run.out, " FOUND "), 2u) << run.out;
        EXPECT_NE(run.out.find("Total File    : 2\n"), std::string::npos) << run.out;
        EXPECT_NE(run.err.find("'" + sub + "' is scanned already"), std::string::npos) << run.err;
    }
    // A folder the walk passes over by an exclusion is scanned where it is named.
    const CommandRun excluded = scan({"--exclude-dir", "sub", tree.path(), sub});
    EXPECT_EQ(count(excluded.out, " FOUND "), 2u) << excluded.out;
    EXPECT_EQ(excluded.err, "");
    // Each file is removed once, and nothing is reported missing.
    const CommandRun cleaned = scan({"--clean", tree.path(), sub});
    EXPECT_NE(cleaned.out.find("2 Virus has been removed...\n"), std::string::npos) << cleaned.out;
    EXPECT_EQ(cleaned.err.find("not removed"), std::string::npos) << cleaned.err;
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(ScanCommandTest, UnreadableFilesAreReportedAndNeverCountAsClean) {
    writeFile(tree.file("locked.com"), testsupport::eicar());
    ::chmod(tree.file("locked.com").c_str(), 0);
    ::chmod(tree.path().c_str(), 0777);
    ::chmod(home.path().c_str(), 0755);
    // 0 when every expectation holds in the unprivileged child, else the number of the first
    // that failed.
    const int status = testsupport::runUnprivileged([this] {
        const CommandRun text = scan({tree.path()});
        if (text.code != kExitError) {
            return 1;
        }
        if (text.err.find("cannot read '" + tree.file("locked.com") + "'") == std::string::npos ||
            text.out.find("Not Readable  : 1\n") == std::string::npos) {
            return 2;
        }
        if (!scan({"--quiet", tree.path()}).err.empty()) {
            return 3;
        }
        const CommandRun json = scan({"--json", tree.path()});
        if (json.code != kExitError ||
            json.out.find("\"unreadableFiles\": [\n    {\"location\": \"" +
                          tree.file("locked.com")) == std::string::npos) {
            return 4;
        }
        // A listed file still wins over one that could not be read.
        writeFile(tree.file("open.com"), testsupport::eicar());
        return scan({tree.path()}).code == kExitDetected ? 0 : 5;
    });
    EXPECT_EQ(status, 0);
}
#endif

TEST_F(ScanCommandTest, LookupsTheDatabaseCannotAnswerAreCountedAndExitTwo) {
    writeFile(database, testsupport::databaseText({"ABC:First", "no colon", "Selesai:Selesai"}));
    writeFile(tree.file("a.txt"), "harmless");
    writeFile(tree.file("b.txt"), "harmless too");
    const CommandRun run = scan({tree.path()});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_NE(run.out.find("Not Looked Up : 2\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("2 file(s) could not be looked up in the signature database: line 2 "),
              std::string::npos)
        << run.err;
}

TEST_F(ScanCommandTest, DatabaseTooLargeToHoldIsRefusedWithoutTryingTo) {
    writeFile(tree.file("a.txt"), "harmless");
    writeFile(database, "");
    // Sparse: no disk space is taken, and reading it whole would need gigabytes.
    std::filesystem::resize_file(database, 4ull << 30);
    const CommandRun run = scan({tree.path()});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_NE(run.err.find("is larger than 64 MiB"), std::string::npos) << run.err;
}

TEST_F(ScanCommandTest, SeveralFoldersAndFilesMakeOneReportInArgumentOrder) {
    writeFile(tree.file("one/a.txt"), "harmless");
    writeFile(tree.file("one/eicar.com"), testsupport::eicar());
    writeFile(tree.file("two/eicar.com"), testsupport::eicar());
    writeFile(tree.file("lone.bin"), testsupport::eicar());
    const CommandRun run = scan({tree.file("two"), tree.file("lone.bin"), tree.file("one")});
    EXPECT_EQ(run.code, kExitDetected) << run.err;
    const auto two = run.out.find(tree.file("two/eicar.com") + ": EICAR-Test-File FOUND");
    const auto lone = run.out.find(tree.file("lone.bin") + ": EICAR-Test-File FOUND");
    const auto one = run.out.find(tree.file("one/eicar.com") + ": EICAR-Test-File FOUND");
    EXPECT_TRUE(two < lone && lone < one && one != std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Total File    : 4\nFile Scanning : 4\nVirus Detected: 3\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(count(run.out, "Scanning is finished"), 1u);

    // A named file is acted on like a walked one.
    const CommandRun clean = scan({"--clean", tree.file("lone.bin")});
    EXPECT_NE(clean.out.find("1 Virus has been removed...\n"), std::string::npos) << clean.out;
    EXPECT_FALSE(std::filesystem::exists(tree.file("lone.bin")));
}

TEST_F(ScanCommandTest, PathsThatCannotBeScannedAreReportedAndTheOthersScanned) {
    writeFile(tree.file("clean/a.txt"), "harmless");
    writeFile(tree.file("bad/eicar.com"), testsupport::eicar());
    const CommandRun run =
        scan({tree.file("clean"), tree.file("missing"), tree.file("clean/a.txt")});
    EXPECT_EQ(run.code, kExitError);
    std::error_code missing;
    platform::pathKind(tree.file("missing"), missing);
    EXPECT_NE(run.err.find("cannot scan '" + tree.file("missing") + "': " + missing.message()),
              std::string::npos)
        << run.err;
    // The named file lies in the named folder: it is counted once.
    EXPECT_NE(run.out.find("Total File    : 1\n"), std::string::npos) << run.out;
    // A listing still wins.
    EXPECT_EQ(scan({tree.file("missing"), tree.file("bad")}).code, kExitDetected);
    // Nothing left to scan: no report at all.
    const CommandRun none = scan({tree.file("missing"), tree.file("gone")});
    EXPECT_EQ(none.code, kExitError);
    EXPECT_TRUE(none.out.empty());
    const CommandRun json = scan({"--json", tree.file("missing"), tree.file("clean")});
    EXPECT_NE(json.out.find("\"paths\": [" + JsonString(tree.file("clean")) + "]"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"errors\": [" + jsonStart("cannot scan '" + tree.file("missing"))),
              std::string::npos);
}

TEST_F(ScanCommandTest, LinkToAFileIsNotFollowedButLinkToAFolderIs) {
    if (!testsupport::linksAreVisible()) {
        GTEST_SKIP() << "links cannot be told from what they point to here";
    }
    writeFile(tree.file("real/eicar.com"), testsupport::eicar());
    std::filesystem::create_symlink(tree.file("real/eicar.com"), home.file("file-link"));
    std::filesystem::create_directory_symlink(tree.file("real"), home.file("folder-link"));
    const CommandRun run = scan({"--clean", home.file("file-link")});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_NE(run.err.find("symbolic link, not followed"), std::string::npos) << run.err;
    EXPECT_EQ(testsupport::readFile(tree.file("real/eicar.com")), testsupport::eicar());
    const CommandRun folder = scan({home.file("folder-link")});
    EXPECT_EQ(folder.code, kExitDetected);
    EXPECT_NE(folder.out.find(tree.file("real/eicar.com") + ": EICAR"), std::string::npos);
}

#ifndef _WIN32
TEST_F(ScanCommandTest, StandardInputIsCheckedButNeverActedOn) {
    writeFile(home.file("input"), testsupport::eicar());
    const CommandRun run = scanWithInput(home.file("input"), {"--quarantine", "-"});
    EXPECT_EQ(run.code, kExitDetected);
    EXPECT_EQ(run.out.rfind("(standard input): EICAR-Test-File FOUND (68 bytes)", 0), 0u)
        << run.out;
    EXPECT_NE(run.err.find("(standard input): not quarantined (standard input is not a file)"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("1 file(s) could not be quarantined"), std::string::npos);

    // Data too large for the checksum is counted, not examined.
    writeFile(home.file("input"), testsupport::eicar() + std::string(768'000, 'x'));
    const CommandRun large = scanWithInput(home.file("input"), {"-"});
    EXPECT_EQ(large.code, kExitClean) << large.err;
    EXPECT_NE(large.out.find("Total File    : 1\nFile Scanning : 1\nVirus Detected: 0\n"),
              std::string::npos)
        << large.out;
}
#endif

TEST_F(ScanCommandTest, ExcludedNamesAreNeitherCountedNorExamined) {
    writeFile(tree.file("keep.txt"), "harmless");
    writeFile(tree.file("eicar.com"), testsupport::eicar());
    writeFile(tree.file("cache/eicar.com"), testsupport::eicar());
    writeFile(tree.file("deep/cache/eicar.txt"), testsupport::eicar());
    writeFile(tree.file("deep/eicar.txt"), testsupport::eicar());
    const CommandRun run = scan(
        {"--exclude", "*.com", "--exclude-dir=cache", "--exclude", "deep/eicar.txt", tree.path()});
    EXPECT_EQ(run.code, kExitClean) << run.out;
    EXPECT_NE(run.out.find("Total File    : 1\n"), std::string::npos) << run.out;
    // A file named on the command line is scanned whatever the exclusions say.
    EXPECT_EQ(scan({"--exclude", "*.com", tree.file("eicar.com")}).code, kExitDetected);
}

TEST_F(ScanCommandTest, LogGetsTheReportAppendedEachRun) {
    writeFile(tree.file("eicar.com"), testsupport::eicar());
    const std::string log = home.file("scan.log");
    const CommandRun first = scan({"--log", log, tree.path()});
    const CommandRun second = scan({"--log=" + log, "--no-summary", tree.path()});
    EXPECT_EQ(second.code, kExitDetected);
    EXPECT_EQ(testsupport::readFile(log), first.out + second.out);
    EXPECT_EQ(second.out, tree.file("eicar.com") + ": EICAR-Test-File FOUND (68 bytes) " +
                              kChecksumAdvice + "\n");
    if (!testsupport::linksAreVisible()) {
        return;
    }
    // A log that cannot be opened safely stops the scan before it starts.
    std::filesystem::create_symlink(log, home.file("link.log"));
    const CommandRun linked = scan({"--log", home.file("link.log"), tree.path()});
    EXPECT_EQ(linked.code, kExitError);
    EXPECT_TRUE(linked.out.empty());
    EXPECT_NE(linked.err.find("cannot open the log"), std::string::npos);
}

TEST_F(ScanCommandTest, NoSummaryKeepsOnlyDetectionLinesAndTheActionProblems) {
    writeFile(tree.file("a/eicar.com"), testsupport::eicar());
    writeFile(quarantine, "not a folder");
    const CommandRun run = scan({"--no-summary", "--quarantine", tree.path()});
    EXPECT_EQ(run.code, kExitDetected);
    EXPECT_EQ(count(run.out, "\n"), 1u) << run.out;
    EXPECT_NE(run.err.find(tree.file("a/eicar.com") + ": not quarantined ("), std::string::npos);
}
