#include "cache/VerdictCache.h"
#include "cli/Commands.h"
#include "cli/SignatureSources.h"
#include "engine/SignatureDatabase.h"
#include "engine/clsCRC.h"
#include "platform/FileHashes.h"
#include "platform/InputFile.h"
#include "scanner/DetectionList.h"
#include "scanner/ScanCache.h"
#include "scanner/ScanSession.h"
#include "signatures/ExtraSignatures.h"
#include "signatures/YaraRules.h"
#include "testsupport/CommandRun.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

using testsupport::CommandRun;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::string hexOf(platform::HashKind kind, std::string_view content) {
    platform::MultiHasher hasher(platform::kindBit(kind));
    hasher.update(content);
    return platform::digestHex(kind, hasher.finish().of(kind));
}

/// Scans with a database listing the test file, the signature sources in `sources` and no usual
/// folder of the machine's.
class SignatureSourcesCommandTest : public ::testing::Test {
protected:
    SignatureSourcesCommandTest()
        : m_saved(ExchangeDefaultSignatureFolders(std::vector<std::string>{sources.path()})) {
        writeFile(database, testsupport::databaseText(
                                {ChecksumText(clsCRC().CalculateBytes(testsupport::eicar())) +
                                     ":EICAR-Test-File",
                                 "Selesai:Selesai"}));
    }
    ~SignatureSourcesCommandTest() override { ExchangeDefaultSignatureFolders(m_saved); }

    CommandRun kesto(const std::string& command, std::vector<std::string> arguments) {
        std::vector<std::string> full{command, "--database", database, "--cache-dir",
                                      home.file("cache")};
        full.insert(full.end(), arguments.begin(), arguments.end());
        return testsupport::runCommand(runKesto, full);
    }

    /// Fills the verdict cache as a scan that began ten seconds from now would, so that the files
    /// just written count as settled (a scan of the command line keeps only older files).
    void fillCache() {
        const SignatureDatabase signatures(database);
        SignatureOptions sourceOptions;
        sourceOptions.folders = {sources.path()};
        const auto extra = ExtraSignatures::Load(sourceOptions);
        std::string warning;
        const std::unique_ptr<VerdictCache> cache =
            OpenScanCache(signatures, home.file("cache"), warning, extra.get());
        ASSERT_TRUE(cache) << warning;
        ScanOptions options;
        options.root = tree.path();
        options.database = &signatures;
        options.quarantineFolder = home.file("Karantina");
        options.cache = cache.get();
        options.extra = extra.get();
        options.endProcesses = false;
        options.clock = [] { return platform::wallClockNs() + 10'000'000'000; };
        ScanObserver quiet;
        ASSERT_EQ(RunScan(options, quiet, [] { return false; }).counts.detections, 3u);
    }

    TempDir tree;
    TempDir home;
    TempDir sources;
    std::string database = home.file("db.dll");

private:
    std::optional<std::vector<std::string>> m_saved;
};

TEST_F(SignatureSourcesCommandTest, RowsFromEverySourceLookLikeTheDatabasesAndSurviveTheCache) {
    const std::string small = "a small sample", large = testsupport::noise(900 * 1024, 7);
    writeFile(tree.file("small.txt"), small);
    writeFile(tree.file("large.bin"), large); // past the checksum limit: only the lists read it
    writeFile(tree.file("eicar.com"), testsupport::eicar());
    writeFile(tree.file("clean.txt"), "nothing here");
    writeFile(sources.file("feed.hashes"),
              hexOf(platform::HashKind::Sha256, small) + ":" + std::to_string(small.size()) +
                  ":Feed.Small\n" + hexOf(platform::HashKind::Md5, large) + ":*:Feed.Large\n" +
                  hexOf(platform::HashKind::Sha1, testsupport::eicar()) + ":*:Feed.Eicar\n");
    const std::string advice = kChecksumAdvice;

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round); // the second scan answers every file from the verdict cache
        if (round == 1) {
            fillCache();
        }
        const CommandRun run = kesto("scan", {"--json", tree.path()});
        EXPECT_EQ(run.code, kExitDetected) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("\"name\": \"Feed.Small\", \"location\": \"" +
                               tree.file("small.txt") + "\", \"size\": 14, \"information\": \"" +
                               advice + "\""),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("\"name\": \"Feed.Large\""), std::string::npos);
        // The database's row stands for a file both list.
        EXPECT_NE(run.out.find("\"name\": \"EICAR-Test-File\""), std::string::npos);
        EXPECT_EQ(run.out.find("Feed.Eicar"), std::string::npos);
        EXPECT_NE(run.out.find("\"detected\": 3"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(round == 0 ? "\"cached\": 0" : "\"cached\": 4"), std::string::npos)
            << run.out;
    }

    // A changed list is a new fingerprint: nothing is answered from what the old one said.
    writeFile(sources.file("feed.hashes"),
              hexOf(platform::HashKind::Sha256, "nothing here") + ":*:Feed.Clean\n");
    const CommandRun changed = kesto("scan", {"--json", tree.path()});
    EXPECT_NE(changed.out.find("\"name\": \"Feed.Clean\""), std::string::npos) << changed.out;
    EXPECT_EQ(changed.out.find("Feed.Small"), std::string::npos);
    EXPECT_NE(changed.out.find("\"cached\": 0"), std::string::npos);
}

TEST_F(SignatureSourcesCommandTest, RulesNameTheirThreatAndABrokenFileIsAnErrorNotAStop) {
    if (!YaraRules::Available()) {
        GTEST_SKIP() << "this build has no libyara";
    }
    writeFile(tree.file("note.txt"), "contains the marker text");
    writeFile(sources.file("good.yar"),
              "rule Marker { meta: description = \"Carries the marker\" strings: $m = \"marker "
              "text\" condition: $m }\n");
    writeFile(home.file("broken.yara"), "rule Broken {\n condition: no_such_thing\n}\n");

    const CommandRun run = kesto("scan", {"--signatures", home.file("broken.yara"), tree.path()});
    EXPECT_EQ(run.code, kExitDetected);
    EXPECT_NE(run.out.find(tree.file("note.txt") + ": Marker FOUND (24 bytes) Carries the marker"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find(home.file("broken.yara") + ": " + home.file("broken.yara") + ":2:"),
              std::string::npos)
        << run.err;

    writeFile(tree.file("note.txt"), "no longer");
    EXPECT_EQ(kesto("scan", {"--signatures", home.file("broken.yara"), tree.path()}).code,
              kExitError);
}

TEST_F(SignatureSourcesCommandTest, SignaturesListsEachSourceAfterTheShippedNames) {
    writeFile(sources.file("a.hashes"), hexOf(platform::HashKind::Md5, "x") + ":*:Listed.One\n" +
                                            hexOf(platform::HashKind::Md5, "y") + "\n");
    const CommandRun run = kesto("signatures", {});
    EXPECT_EQ(run.code, kExitClean) << run.err;
    EXPECT_NE(run.out.find("\nTotal Signatures : 15\n" + sources.file("a.hashes") +
                           " : 2 hashes\n16. Listed.One\n17. a\nTotal Signatures, all sources : "
                           "17\n"),
              std::string::npos)
        << run.out;
}

TEST_F(SignatureSourcesCommandTest, BadLimitsAreUsageErrors) {
    for (const auto& [option, value] :
         {std::pair{"--max-hash-size", "12Q"}, std::pair{"--max-yara-size", ""},
          std::pair{"--yara-timeout", "0"}, std::pair{"--max-hash-size", "99999999999999999G"}}) {
        const CommandRun run = kesto("scan", {option, value, tree.path()});
        EXPECT_EQ(run.code, kExitError) << option << ' ' << value;
        EXPECT_NE(run.err.find("kesto:"), std::string::npos);
    }
    EXPECT_EQ(ParseByteSize("64M"), 64ull << 20);
    EXPECT_EQ(ParseByteSize("4096"), 4096u);
    EXPECT_EQ(ParseByteSize("1g"), 1ull << 30);
    EXPECT_FALSE(ParseByteSize("M"));
    EXPECT_FALSE(ParseByteSize("-1"));
}

} // namespace
